#include "NativeFolderWalk.h"

#include "FolderReader.h"

#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace korvo {

using namespace listing;

namespace {

// A folder whose listing is handed from one walker to another: opened by
// the walker that found it, listed by the one that takes it.
struct Task
{
    DirectoryNodePtr node;
    int fd = -1;
    FolderId id;
    QByteArray name; // its exact name in its parent
    int openError = 0; // why it could not be opened
};

// The folders busy walkers hand to idle ones. A walker with nothing left
// waits here; the walk is over when every walker waits and nothing is
// queued, or when the scan is cancelled.
class WorkQueue
{
public:
    explicit WorkQueue(int walkers) : walkers_(walkers) {}
    ~WorkQueue()
    {
        for (const Task& task : tasks_)
            ::close(task.fd);
    }

    // True when some walker waits for more than is queued for it: the
    // moment to hand over a folder. Read without the lock; a stale answer
    // only hands over one folder more or less.
    bool wanted() const { return waiting_.load(std::memory_order_relaxed) > queued_.load(std::memory_order_relaxed); }

    void offer(Task task)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
        queued_.store(int(tasks_.size()), std::memory_order_relaxed);
        ready_.notify_one();
    }

    // The next folder to walk; false when the walk is over.
    bool take(Task& task, const std::atomic<bool>& cancel)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        waiting_.fetch_add(1, std::memory_order_relaxed);
        while (tasks_.empty() && !over_) {
            if (waiting_.load(std::memory_order_relaxed) == walkers_ || cancel.load(std::memory_order_relaxed)) {
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

private:
    const int walkers_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<Task> tasks_;
    bool over_ = false;
    std::atomic<int> waiting_{0};
    std::atomic<int> queued_{0};
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
// shallowest subfolder not yet started is handed to it.
class Walker
{
public:
    Walker(const DriveGeometry& geometry, int threads, int maxOpenFrames, WorkQueue& queue,
           const std::atomic<bool>& cancel, const FolderWalk::Listed& listed)
        : reader_(geometry, threads), maxOpenFrames_(maxOpenFrames), queue_(queue), cancel_(cancel), listed_(listed)
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

    void walk(Task task);
    bool list(Frame& frame);
    void push(Frame frame);
    void pop();
    void handOver();
    bool reopen(int index, int from, int levels);
    bool reopenByNames(int index);
    bool adopt(int index, int fd);
    void closeFrames();

    FolderReader reader_;
    const int maxOpenFrames_;
    WorkQueue& queue_;
    const std::atomic<bool>& cancel_;
    const FolderWalk::Listed& listed_;
    QVector<Frame> frames_;
    int lowestOpen_ = 1; // frames 1 .. lowestOpen_-1 have closed descriptors
};

void Walker::walk(Task task)
{
    Frame bottom;
    bottom.node = std::move(task.node);
    bottom.fd = task.fd;
    bottom.id = task.id;
    bottom.name = std::move(task.name);
    bottom.openError = task.openError;
    if (!list(bottom))
        return;
    lowestOpen_ = 1;
    frames_.append(std::move(bottom));
    while (!frames_.isEmpty() && !cancel_.load(std::memory_order_relaxed)) {
        if (queue_.wanted())
            handOver();
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
    listed_(*frame.node, reader_.read(frame.fd, frame.node, frame.children));
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
// nearer the top, the more is likely to lie below it.
void Walker::handOver()
{
    for (int i = 0; i < frames_.size(); ++i) {
        Frame& frame = frames_[i];
        if (frame.fd < 0 || !hasWork(frame))
            continue;
        if (i == frames_.size() - 1 && frame.first == frame.next)
            return; // this walker's own next step
        const int index = frame.first++;
        Task task;
        task.node = frame.node->subdirectory(index);
        task.name = std::move(frame.children[index].name);
        task.id = frame.children.at(index).id;
        task.fd = openSubfolder(frame.fd, task.name.constData());
        if (task.fd < 0) {
            FolderSums unread; // cannot be read: an empty folder
            unread.error = errno;
            listed_(*task.node, unread);
        } else {
            queue_.offer(std::move(task));
        }
        return;
    }
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

// The native walk of Linux: getdents64 and statx relative to open folders,
// on several threads.
class NativeFolderWalk : public FolderWalk
{
public:
    NativeFolderWalk(const NativePath& rootPath, const DriveGeometry& geometry, int threads);
    ~NativeFolderWalk() override;

    DirectoryNodePtr root() const override { return root_; }
    void run(const std::atomic<bool>& cancel, const Listed& listed) override;

private:
    DirectoryNodePtr root_;
    DriveGeometry geometry_;
    int threads_;
    int rootFd_ = -1;
    int rootError_ = 0; // why the root could not be opened
};

NativeFolderWalk::NativeFolderWalk(const NativePath& rootPath, const DriveGeometry& geometry, int threads)
    : geometry_(geometry), threads_(threads)
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
    WorkQueue queue(threads_);
    Task root;
    root.node = root_;
    root.fd = rootFd_; // the walker that takes it closes it
    rootFd_ = -1;
    folderIdOf(root.fd, root.id);
    queue.offer(std::move(root));

    const int maxOpenFrames = maxOpenFramesFor(threads_);
    std::vector<std::thread> others;
    for (int i = 1; i < threads_; ++i)
        others.emplace_back([&] { Walker(geometry_, threads_, maxOpenFrames, queue, cancel, listed).run(); });
    Walker(geometry_, threads_, maxOpenFrames, queue, cancel, listed).run();
    for (std::thread& other : others)
        other.join();
}

// The number of walking threads when the caller leaves it open: the
// environment's KORVO_SCAN_THREADS when set, else four per processor and at
// least four. A listing thread spends much of its time waiting for the file
// system (for the disk when the cache is cold), and more threads in flight
// keep every processor busy meanwhile.
int defaultThreads()
{
    bool ok = false;
    const int wanted = qEnvironmentVariableIntValue("KORVO_SCAN_THREADS", &ok);
    if (ok && wanted > 0)
        return qMin(wanted, 64);
    return qBound(4, 4 * QThread::idealThreadCount(), 32);
}

} // namespace

std::unique_ptr<FolderWalk> createNativeFolderWalk(const NativePath& rootPath, const DriveGeometry& geometry,
                                                   int threads)
{
    return std::make_unique<NativeFolderWalk>(rootPath, geometry, threads > 0 ? qMin(threads, 64) : defaultThreads());
}

} // namespace korvo
