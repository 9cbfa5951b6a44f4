#include "NativeFolderWalk.h"

#include "FolderReader.h"
#include "WalkConcurrency.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace korvo {

using namespace listing;

namespace {

// A folder whose listing is handed from one walker to another: opened and
// listed by the one that takes it, through a copy of its parent's
// descriptor, so that handing it over costs the giver no request.
struct Task
{
    DirectoryNodePtr node;
    int fd = -1;       // the folder, open (the root)
    int parentFd = -1; // else its parent, open, to open it through by name
    FolderId id;
    QByteArray name; // its exact name in its parent
};

// A folder's entries put out to be statted in blocks by whichever walkers
// take them. Lives on its owner's stack; the counts are kept under the
// queue's lock.
struct StatJob
{
    const std::function<void(size_t, size_t)>* statBlock = nullptr;
    size_t count = 0;
    size_t block = 1;
    size_t taken = 0;    // entries handed out
    size_t done = 0;     // entries statted
    bool closed = false; // no more blocks are handed out
};

// The folders busy walkers hand to idle ones, and the blocks of entries
// they share out. A walker with nothing left stats blocks or waits here;
// the walk is over when every walker waits and nothing is queued, or when
// the scan is cancelled.
class WorkQueue
{
public:
    explicit WorkQueue(int walkers) : walkers_(walkers) {}
    ~WorkQueue()
    {
        for (const Task& task : tasks_)
            ::close(task.fd >= 0 ? task.fd : task.parentFd);
    }

    // True when more walkers wait, or only help with other folders' stats,
    // than there are folders queued for them: the moment to hand over a
    // folder. Read without the lock; a stale answer only hands over one
    // folder more or less.
    bool wanted() const
    {
        return waiting_.load(std::memory_order_relaxed) + helping_.load(std::memory_order_relaxed)
               > queued_.load(std::memory_order_relaxed);
    }

    void offer(Task task)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
        queued_.store(int(tasks_.size()), std::memory_order_relaxed);
        ready_.notify_one();
    }

    // Counts `more` walkers that are about to start.
    void addWalkers(int more)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        walkers_ += more;
    }

    bool take(Task& task, const std::atomic<bool>& cancel);
    void statTogether(size_t count, const std::function<void(size_t, size_t)>& statBlock,
                      const std::atomic<bool>& cancel);

private:
    bool statNextBlock(std::unique_lock<std::mutex>& lock, StatJob& job);
    void close(StatJob& job);

    int walkers_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable statted_;
    std::vector<Task> tasks_;
    std::vector<StatJob*> jobs_; // the folders whose blocks are not all handed out, oldest first
    bool over_ = false;
    std::atomic<int> waiting_{0};
    std::atomic<int> helping_{0};
    std::atomic<int> queued_{0};
};

// The next folder to walk; false when the walk is over. While there is
// none, the walker stats blocks of entries that other walkers share out.
bool WorkQueue::take(Task& task, const std::atomic<bool>& cancel)
{
    std::unique_lock<std::mutex> lock(mutex_);
    waiting_.fetch_add(1, std::memory_order_relaxed);
    for (;;) {
        if (cancel.load(std::memory_order_relaxed)) {
            over_ = true;
            ready_.notify_all();
            break;
        }
        if (!tasks_.empty() || over_)
            break;
        if (!jobs_.empty()) {
            waiting_.fetch_sub(1, std::memory_order_relaxed);
            helping_.fetch_add(1, std::memory_order_relaxed);
            statNextBlock(lock, *jobs_.front());
            helping_.fetch_sub(1, std::memory_order_relaxed);
            waiting_.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        if (waiting_.load(std::memory_order_relaxed) == walkers_) {
            over_ = true;
            ready_.notify_all();
            break;
        }
        // A cancel sets only a flag: look at it now and then.
        ready_.wait_for(lock, std::chrono::milliseconds(20));
    }
    waiting_.fetch_sub(1, std::memory_order_relaxed);
    if (tasks_.empty() || cancel.load(std::memory_order_relaxed))
        return false;
    task = std::move(tasks_.back());
    tasks_.pop_back();
    queued_.store(int(tasks_.size()), std::memory_order_relaxed);
    return true;
}

// Stats `count` entries in blocks, this walker and every idle one taking
// the next block not yet taken, and returns once all taken blocks are done.
// A cancel stops the handing out of blocks.
void WorkQueue::statTogether(size_t count, const std::function<void(size_t, size_t)>& statBlock,
                             const std::atomic<bool>& cancel)
{
    StatJob job;
    job.statBlock = &statBlock;
    job.count = count;
    std::unique_lock<std::mutex> lock(mutex_);
    // Blocks small enough for every walker to get some, large enough that
    // a huge folder does not take the lock for each entry.
    job.block = qBound<size_t>(1, count / (2 * size_t(qMax(walkers_, 1))), 64);
    jobs_.push_back(&job);
    // Wakes as many idle walkers as there are blocks for, not all of them.
    const size_t helpers = qMin((count + job.block - 1) / job.block - 1,
                                size_t(qMax(waiting_.load(std::memory_order_relaxed), 0)));
    for (size_t i = 0; i < helpers; ++i)
        ready_.notify_one();
    while (!cancel.load(std::memory_order_relaxed) && statNextBlock(lock, job)) {
    }
    close(job);
    statted_.wait(lock, [&job] { return job.done == job.taken; });
}

// Stats the next block of `job` with the lock released; false when every
// block was handed out.
bool WorkQueue::statNextBlock(std::unique_lock<std::mutex>& lock, StatJob& job)
{
    if (job.closed)
        return false;
    const size_t begin = job.taken;
    const size_t end = qMin(begin + job.block, job.count);
    job.taken = end;
    if (end == job.count)
        close(job);
    lock.unlock();
    (*job.statBlock)(begin, end);
    lock.lock();
    job.done += end - begin;
    if (job.closed && job.done == job.taken)
        statted_.notify_all();
    return true;
}

void WorkQueue::close(StatJob& job)
{
    if (job.closed)
        return;
    job.closed = true;
    jobs_.erase(std::find(jobs_.begin(), jobs_.end(), &job));
}

// What the walkers of one walk share: the queue, the kinds of the file
// systems met so far, and the threads, which grow in number when the walk
// enters a remote file system with the walkers left to the default.
class WalkContext
{
public:
    // `rootDevice` is the root's device, whose kind set `concurrency`.
    WalkContext(const DriveGeometry& geometry, const WalkConcurrency& concurrency, dev_t rootDevice,
                const FileSystemProbe& probe, const std::atomic<bool>& cancel, const FolderWalk::Listed& listed)
        : geometry(geometry), concurrency(concurrency), queue(1), cancel(cancel), listed(listed), probe_(probe),
          devices_{{rootDevice, concurrency.shareStats}}
    {
    }

    // Whether the folder open as `fd`, on `device`, is on a remote file
    // system: the probe is asked once per device.
    bool isRemote(dev_t device, const DirectoryNode& folder, int fd);
    // Starts the walkers beside the calling thread's, then walks on it
    // too, and returns once every walker has ended.
    void run();

    const DriveGeometry geometry;
    const WalkConcurrency concurrency; // the root's
    WorkQueue queue;
    const std::atomic<bool>& cancel;
    const FolderWalk::Listed& listed;

private:
    void startWalkers(int count);

    const FileSystemProbe& probe_;
    std::mutex mutex_; // guards what follows
    std::vector<std::pair<dev_t, bool>> devices_; // each device met, and whether it is remote
    std::vector<std::thread> threads_;
    int walkers_ = 1;
};

// One walking thread. It lists a folder and the whole tree below it
// depth-first, each folder opened relative to its parent's open descriptor,
// never by a path walked again from the top, so the time is linear in the
// number of entries whatever the shape of the tree.
//
// The folders being worked on form a stack of frames, one per level of the
// current path. Only the deepest few frames keep their descriptors open (and
// the bottom frame's); a frame reached again after its descriptor was closed
// is reopened through ".." from the frame just left and recognised by its
// device and inode, so descriptors stay bounded at any depth and reopening
// costs one call per level climbed. When another walker is idle, the
// shallowest subfolder not yet started is handed to it. On a remote file
// system a folder's entries are statted by every idle walker at once.
class Walker : private StatSharing
{
public:
    Walker(WalkContext& walk, int maxOpenFrames)
        : reader_(walk.geometry, walk.concurrency.walkers), maxOpenFrames_(maxOpenFrames), walk_(walk),
          queue_(walk.queue), cancel_(walk.cancel), listed_(walk.listed)
    {
    }

    void run()
    {
        Task task;
        while (queue_.take(task, cancel_))
            walk(std::move(task));
    }

private:
    struct Frame
    {
        DirectoryNodePtr node;
        int fd = -1;
        FolderId id;
        QByteArray name;               // its exact name in its parent
        int openError = 0;             // why it could not be opened
        QVector<ChildFolder> children; // its subfolders
        int first = 0;                 // the subfolders first .. next are still to be listed,
        int next = -1;                 // this walker taking them from the last down
    };

    static bool hasWork(const Frame& frame) { return frame.first <= frame.next; }

    void statTogether(size_t count, const std::function<void(size_t, size_t)>& statBlock) override
    {
        queue_.statTogether(count, statBlock, cancel_);
    }

    void walk(Task task);
    bool list(Frame& frame);
    void push(Frame frame);
    void pop();
    bool handOver();
    bool reopen(int index, int from, int levels);
    bool reopenByNames(int index);
    bool adopt(int index, int fd);
    void closeFrames();

    FolderReader reader_;
    const int maxOpenFrames_;
    WalkContext& walk_;
    WorkQueue& queue_;
    const std::atomic<bool>& cancel_;
    const FolderWalk::Listed& listed_;
    QVector<Frame> frames_;
    int lowestOpen_ = 1; // frames 1 .. lowestOpen_-1 have closed descriptors
    // The device of the folder listed last, and whether it is remote.
    bool knowsDevice_ = false;
    dev_t device_ = 0;
    bool remote_ = false;
};

void Walker::walk(Task task)
{
    Frame bottom;
    bottom.node = std::move(task.node);
    bottom.fd = task.fd;
    bottom.id = task.id;
    bottom.name = std::move(task.name);
    if (task.parentFd >= 0) {
        bottom.fd = openSubfolder(task.parentFd, bottom.name.constData());
        bottom.openError = bottom.fd < 0 ? errno : 0;
        ::close(task.parentFd);
    }
    if (!list(bottom))
        return;
    lowestOpen_ = 1;
    frames_.append(std::move(bottom));
    while (!frames_.isEmpty() && !cancel_.load(std::memory_order_relaxed)) {
        while (queue_.wanted() && handOver()) {
        }
        Frame& parent = frames_.last();
        if (!hasWork(parent)) {
            pop();
            continue;
        }
        const int index = parent.next--;
        Frame child;
        child.node = parent.node->subdirectory(index);
        child.name = std::move(parent.children[index].name);
        child.id = parent.children.at(index).id;
        child.fd = openSubfolder(parent.fd, child.name.constData());
        child.openError = child.fd < 0 ? errno : 0;
        if (list(child))
            push(std::move(child));
    }
    closeFrames();
}

// Lists the frame's folder; true when it has subfolders to go into (the
// frame keeps its descriptor then), else its descriptor is closed.
bool Walker::list(Frame& frame)
{
    if (frame.fd < 0) {
        FolderSums unread; // cannot be read: an empty folder
        unread.error = frame.openError;
        listed_(*frame.node, unread);
        return false;
    }
    if (!knowsDevice_ || frame.id.device != device_) {
        remote_ = walk_.isRemote(frame.id.device, *frame.node, frame.fd);
        device_ = frame.id.device;
        knowsDevice_ = true;
    }
    listed_(*frame.node, reader_.read(frame.fd, frame.node, frame.children, remote_ ? this : nullptr));
    if (frame.children.isEmpty()) {
        ::close(frame.fd);
        return false;
    }
    frame.first = 0;
    frame.next = frame.children.size() - 1;
    return true;
}

void Walker::push(Frame frame)
{
    frames_.append(std::move(frame));
    // Too many open: close the one furthest up, short of the bottom.
    if (frames_.size() - lowestOpen_ + 1 > maxOpenFrames_ && lowestOpen_ < frames_.size() - 1) {
        ::close(frames_[lowestOpen_].fd);
        frames_[lowestOpen_].fd = -1;
        ++lowestOpen_;
    }
}

void Walker::pop()
{
    // Leave the finished frames; the frame whose subfolders come next must
    // be open, and is reached from the folder just left.
    const int leftIndex = frames_.size() - 1;
    Frame left = frames_.takeLast();
    while (!frames_.isEmpty() && !hasWork(frames_.last())) {
        if (frames_.last().fd >= 0)
            ::close(frames_.last().fd);
        frames_.removeLast();
    }
    const int index = frames_.size() - 1;
    if (index >= 0 && frames_.last().fd < 0) {
        if (!reopen(index, left.fd, leftIndex - index) && !reopenByNames(index))
            frames_.last().next = frames_.last().first - 1; // gone: its remaining subfolders stay empty
        lowestOpen_ = qMax(1, index);
    }
    if (left.fd >= 0)
        ::close(left.fd);
}

// Hands the shallowest subfolder not yet started to an idle walker: the
// nearer the top, the more is likely to lie below it. False when there is
// none but this walker's own next one.
bool Walker::handOver()
{
    for (int i = 0; i < frames_.size(); ++i) {
        Frame& frame = frames_[i];
        if (frame.fd < 0 || !hasWork(frame))
            continue;
        if (i == frames_.size() - 1 && frame.first == frame.next)
            return false; // this walker's own next step
        const int index = frame.first++;
        Task task;
        task.node = frame.node->subdirectory(index);
        task.name = std::move(frame.children[index].name);
        task.id = frame.children.at(index).id;
        task.parentFd = ::fcntl(frame.fd, F_DUPFD_CLOEXEC, 0);
        if (task.parentFd < 0) // out of descriptors: opened here instead
            task.fd = openSubfolder(frame.fd, task.name.constData());
        if (task.parentFd < 0 && task.fd < 0) {
            FolderSums unread; // cannot be read: an empty folder
            unread.error = errno;
            listed_(*task.node, unread);
        } else {
            queue_.offer(std::move(task));
        }
        return true;
    }
    return false;
}

// Reopens frame `index` through ".." from `from`, the descriptor of a folder
// `levels` levels below it; true when the folder reached is the one listed
// there (not one renamed into its place since).
bool Walker::reopen(int index, int from, int levels)
{
    if (from < 0)
        return false;
    int fd = from;
    while (levels > 0) {
        // "../../.." climbs many levels in one call; a path has a length limit.
        const int step = qMin(levels, 1000);
        QByteArray up;
        up.reserve(step * 3);
        for (int i = 0; i < step; ++i)
            up += i == 0 ? ".." : "/..";
        levels -= step;
        const int next = ::openat(fd, up.constData(), levels == 0 ? folderFlags() : (O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (fd != from)
            ::close(fd);
        if (next < 0)
            return false;
        fd = next;
    }
    return adopt(index, fd);
}

// Reopens frame `index` by the names of the levels down to it from the
// nearest frame above it that is open (the bottom one always is). Only
// needed when ".." no longer leads there: something was renamed meanwhile.
bool Walker::reopenByNames(int index)
{
    int open = index - 1;
    while (open > 0 && frames_.at(open).fd < 0)
        --open;
    int fd = frames_.at(open).fd;
    for (int level = open + 1; level <= index && fd >= 0; ++level) {
        const int flags = level == index ? folderFlags() : (O_PATH | O_DIRECTORY | O_CLOEXEC);
        const int next = ::openat(fd, frames_.at(level).name.constData(), flags | O_NOFOLLOW);
        if (fd != frames_.at(open).fd)
            ::close(fd);
        fd = next;
    }
    return fd >= 0 && adopt(index, fd);
}

// Keeps `fd` as frame `index`'s descriptor when it is that frame's folder.
bool Walker::adopt(int index, int fd)
{
    FolderId id;
    if (!folderIdOf(fd, id) || !(id == frames_.at(index).id)) {
        ::close(fd);
        return false;
    }
    frames_[index].fd = fd;
    return true;
}

void Walker::closeFrames()
{
    for (const Frame& frame : qAsConst(frames_)) {
        if (frame.fd >= 0)
            ::close(frame.fd);
    }
    frames_.clear();
}

// How many frames of each walker may keep a descriptor open: a share of the
// process's limit that leaves room for everything else, at most 32.
int maxOpenFramesFor(int threads)
{
    struct rlimit limit;
    rlim_t available = 1024;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        available = limit.rlim_cur;
    const qint64 share = (qint64(available) - 32) / (2 * qint64(threads));
    return int(qBound<qint64>(4, share, 32));
}

bool WalkContext::isRemote(dev_t device, const DirectoryNode& folder, int fd)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& known : devices_) {
        if (known.first == device)
            return known.second;
    }
    const bool remote = probe_(folder.nativeFilePath(), fd) == platform::FileSystemKind::Remote;
    devices_.emplace_back(device, remote);
    // A remote file system below a local root: as many walkers as for a
    // remote root, unless their number was given.
    if (remote && !concurrency.fixed && walkers_ < MaxWalkers)
        startWalkers(MaxWalkers - walkers_);
    return remote;
}

// Starts `count` more walkers; called under the lock.
void WalkContext::startWalkers(int count)
{
    if (count <= 0)
        return;
    queue.addWalkers(count);
    walkers_ += count;
    const int maxOpenFrames = maxOpenFramesFor(walkers_);
    for (int i = 0; i < count; ++i)
        threads_.emplace_back([this, maxOpenFrames] { Walker(*this, maxOpenFrames).run(); });
}

void WalkContext::run()
{
    threads_.reserve(MaxWalkers); // started threads never move
    {
        std::lock_guard<std::mutex> lock(mutex_);
        startWalkers(concurrency.walkers - 1);
    }
    Walker(*this, maxOpenFramesFor(concurrency.walkers)).run();
    // Walkers may still be started while the first ones are joined.
    for (size_t i = 0;; ++i) {
        std::thread* thread = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (i >= threads_.size())
                break;
            thread = &threads_[i];
        }
        thread->join();
    }
}

// The native walk of Linux: getdents64 and statx relative to open folders,
// on several threads.
class NativeFolderWalk : public FolderWalk
{
public:
    NativeFolderWalk(const NativePath& rootPath, const DriveGeometry& geometry, int threads,
                     const FileSystemProbe& probe);
    ~NativeFolderWalk() override;

    DirectoryNodePtr root() const override { return root_; }
    void run(const std::atomic<bool>& cancel, const Listed& listed) override;

private:
    DirectoryNodePtr root_;
    DriveGeometry geometry_;
    int threads_; // as the caller asked: 0 for the default
    FileSystemProbe probe_;
    int rootFd_ = -1;
    int rootError_ = 0; // why the root could not be opened
};

NativeFolderWalk::NativeFolderWalk(const NativePath& rootPath, const DriveGeometry& geometry, int threads,
                                   const FileSystemProbe& probe)
    : geometry_(geometry), threads_(threads), probe_(probe ? probe : systemFileSystemProbe())
{
    const QFileInfo info(rootPath.toText());
    rootFd_ = openRoot(rootPath.bytes());
    rootError_ = rootFd_ < 0 ? errno : 0;
    // The root's levels: the folder that holds it, given whole, then its name.
    const FolderPath path = FolderPath::fromText(info.absolutePath(), rootPath.parent())
                                .child(info.fileName(), rootPath.fileName());
    root_ = DirectoryNodePtr::create(DirectoryNodePtr(), path, rootFd_ >= 0 ? folderTimes(rootFd_) : NodeTimes());
}

NativeFolderWalk::~NativeFolderWalk()
{
    if (rootFd_ >= 0)
        ::close(rootFd_);
}

void NativeFolderWalk::run(const std::atomic<bool>& cancel, const Listed& listed)
{
    if (cancel.load(std::memory_order_relaxed))
        return;
    if (rootFd_ < 0) {
        FolderSums unread; // cannot be read: an empty folder
        unread.error = rootError_;
        listed(*root_, unread);
        return;
    }
    Task root;
    root.node = root_;
    root.fd = rootFd_; // the walker that takes it closes it
    rootFd_ = -1;
    folderIdOf(root.fd, root.id);
    // The root's file system sets the walkers' number.
    const platform::FileSystemKind kind = probe_(root_->nativeFilePath(), root.fd);
    WalkContext walk(geometry_, walkConcurrency(kind, threads_), root.id.device, probe_, cancel, listed);
    walk.queue.offer(std::move(root));
    walk.run();
}

} // namespace

std::unique_ptr<FolderWalk> createNativeFolderWalk(const NativePath& rootPath, const DriveGeometry& geometry,
                                                   int threads, const FileSystemProbe& probe)
{
    return std::make_unique<NativeFolderWalk>(rootPath, geometry, threads, probe);
}

} // namespace korvo
