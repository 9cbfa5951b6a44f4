#include "FolderReader.h"

#include "ChildIdentities.h"
#include "FileNode.h"
#include "SaturatingSum.h"
#include "SortName.h"

#include <QFile>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace korvo::listing {

namespace {

const int FolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

// What one stat call tells about an entry.
struct EntryStat
{
    mode_t mode = 0;
    qint64 size = 0;
    NodeTimes times;
    FolderId id;
};

// Milliseconds since the epoch as QFileInfo counts them; QFileInfo takes the
// epoch itself (0) for "no time".
inline qint64 toMSecs(qint64 seconds, qint64 nanoseconds)
{
    const qint64 msecs = seconds * 1000 + nanoseconds / 1000000;
    return msecs == 0 ? NodeTimes::Invalid : msecs;
}

std::atomic<bool> statxMissing{false};

void fillFrom(const struct stat& buffer, EntryStat& result)
{
    result.mode = buffer.st_mode;
    result.size = qint64(buffer.st_size);
    result.id = {buffer.st_dev, buffer.st_ino};
    result.times.lastModified = toMSecs(buffer.st_mtim.tv_sec, buffer.st_mtim.tv_nsec);
    result.times.lastRead = toMSecs(buffer.st_atim.tv_sec, buffer.st_atim.tv_nsec);
    result.times.created = NodeTimes::createdFrom(
        NodeTimes::Invalid, toMSecs(buffer.st_ctim.tv_sec, buffer.st_ctim.tv_nsec), result.times.lastModified);
}

// Stats `name` relative to the open folder `folder` (an empty name: the
// folder itself): the entry itself, or with `follow` what a link reaches.
// statx gives the birth time; kernels without it fall back to fstatat, which
// has none.
bool statEntry(int folder, const char* name, bool follow, EntryStat& result)
{
    const int flags = (follow ? 0 : AT_SYMLINK_NOFOLLOW) | (*name ? 0 : AT_EMPTY_PATH);
#ifdef STATX_BTIME
    if (!statxMissing.load(std::memory_order_relaxed)) {
        struct statx buffer;
        if (::statx(folder, name, flags, STATX_BASIC_STATS | STATX_BTIME, &buffer) == 0) {
            result.mode = buffer.stx_mode;
            result.size = qint64(buffer.stx_size);
            result.id = {makedev(buffer.stx_dev_major, buffer.stx_dev_minor), ino_t(buffer.stx_ino)};
            result.times.lastModified = toMSecs(buffer.stx_mtime.tv_sec, buffer.stx_mtime.tv_nsec);
            result.times.lastRead = toMSecs(buffer.stx_atime.tv_sec, buffer.stx_atime.tv_nsec);
            const qint64 birth = (buffer.stx_mask & STATX_BTIME)
                                     ? toMSecs(buffer.stx_btime.tv_sec, buffer.stx_btime.tv_nsec)
                                     : NodeTimes::Invalid;
            result.times.created = NodeTimes::createdFrom(
                birth, toMSecs(buffer.stx_ctime.tv_sec, buffer.stx_ctime.tv_nsec), result.times.lastModified);
            return true;
        }
        if (errno != ENOSYS)
            return false;
        statxMissing.store(true, std::memory_order_relaxed);
    }
#endif
    struct stat buffer;
    if (::fstatat(folder, name, &buffer, flags) != 0)
        return false;
    fillFrom(buffer, result);
    return true;
}


// The length of the regular file a link reaches, read by opening it through
// the link; 0 when it cannot be opened for reading. Only called once the link
// is known to reach a regular file: a FIFO or device is never opened.
qint64 linkedFileSize(int folder, const char* name)
{
    const int fd = ::openat(folder, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return 0;
    qint64 size = 0;
    struct stat opened;
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode)) {
        const off_t end = ::lseek(fd, 0, SEEK_END);
        size = end > 0 ? qint64(end) : 0;
    }
    ::close(fd);
    return size;
}



// True when every character of the text has a Latin-1 byte.
bool isLatin1(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

// Writes a text known to be Latin-1 as its bytes.
void writeLatin1(char* out, const QString& text)
{
    for (const QChar c : text)
        *out++ = char(c.unicode());
}

// A folder with at least this many entries has them statted by several
// threads at once, each taking blocks of this many at a time.
const size_t HugeFolder = 4096;
const size_t StatBlock = 512;
// Lists longer than this are given back after their folder, not kept for
// the next one.
const size_t KeepAtMost = 64 * 1024;

template<typename Container>
void release(Container& container)
{
    if (container.capacity() > KeepAtMost)
        Container().swap(container);
    else
        container.clear();
}

} // namespace

int folderFlags()
{
    return FolderFlags;
}

bool folderIdOf(int fd, FolderId& id)
{
    struct stat buffer;
    if (::fstat(fd, &buffer) != 0)
        return false;
    id = {buffer.st_dev, buffer.st_ino};
    return true;
}

// Opens a subfolder of an open folder for listing. A link that has taken
// the subfolder's place since it was listed is not followed.
int openSubfolder(int folder, const char* name)
{
    return ::openat(folder, name, FolderFlags | O_NOFOLLOW);
}

// Opens the root folder by its path (following links, as the user named
// it). A path longer than the system takes in one call is opened one
// component at a time; this happens once per scan.
int openRoot(const QByteArray& path)
{
    int fd = ::open(path.constData(), FolderFlags);
    if (fd >= 0 || errno != ENAMETOOLONG)
        return fd;
    int at = ::open(path.startsWith('/') ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    const QList<QByteArray> parts = path.split('/');
    int remaining = 0;
    for (const QByteArray& part : parts)
        remaining += part.isEmpty() ? 0 : 1;
    for (const QByteArray& part : parts) {
        if (at < 0)
            return -1;
        if (part.isEmpty())
            continue;
        --remaining;
        const int next = ::openat(at, part.constData(), remaining == 0 ? FolderFlags : (O_PATH | O_DIRECTORY | O_CLOEXEC));
        ::close(at);
        at = next;
    }
    return at;
}

NodeTimes folderTimes(int fd)
{
    EntryStat stat;
    statEntry(fd, "", false, stat);
    return stat.times;
}

FolderSums FolderReader::read(int fd, const DirectoryNodePtr& folder, QVector<ChildFolder>& children,
                              StatSharing* sharing)
{
    children.clear();
    entries_.clear();
    names_.clear();
    FolderSums sums;
    if (readEntries(fd)) {
        statEntries(fd, sharing);
        sortEntries();
        sums = build(folder, children);
    } else {
        sums.error = errno; // a folder that cannot be read: no entries
    }
    release(entries_);
    release(sorted_);
    release(names_);
    release(keys_);
    decoded_.clear();
    return sums;
}

bool FolderReader::readEntries(int fd)
{
    // getdents64 straight into one reused buffer: no directory stream to
    // allocate, and the descriptor stays ours to open subfolders through.
    // The names go one after the other into names_, each after its type and
    // ended by a zero byte; the entries are made once their count is known.
    if (buffer_.isEmpty())
        buffer_.resize(64 * 1024);
    size_t count = 0;
    for (;;) {
        const ssize_t read = ::getdents64(fd, buffer_.data(), size_t(buffer_.size()));
        if (read < 0) {
            if (errno != ENOENT)
                return false;
            break; // a folder removed while open reads as empty
        }
        if (read == 0)
            break;
        for (ssize_t at = 0; at < read;) {
            const auto* dirent = reinterpret_cast<const struct dirent64*>(buffer_.constData() + at);
            at += dirent->d_reclen;
            const char* name = dirent->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            const unsigned char type = dirent->d_type;
            if (type == DT_FIFO || type == DT_SOCK || type == DT_CHR || type == DT_BLK)
                continue; // neither file, link nor folder: skipped, never opened
            names_ += char(type);
            names_.append(name, std::strlen(name) + 1);
            ++count;
        }
    }
    // A huge folder's names lose the room left by growing, before the
    // entries and nodes take theirs.
    if (names_.capacity() > KeepAtMost && names_.capacity() - names_.size() > names_.size() / 8)
        names_.shrink_to_fit();
    entries_.reserve(count);
    for (size_t at = 0; at < names_.size();) {
        Entry entry;
        entry.type = uchar(names_[at]);
        entry.nameAt = quint32(at + 1);
        entry.nameLength = quint16(std::strlen(names_.data() + at + 1));
        entries_.push_back(entry);
        at += entry.nameLength + 2u;
    }
    return true;
}

// Stats every entry: through `sharing` when given; else a huge folder's
// entries on several threads at once, each taking the next block of entries
// not yet taken.
void FolderReader::statEntries(int fd, StatSharing* sharing)
{
    const size_t count = entries_.size();
    if (sharing && count > 1) {
        sharing->statTogether(count, [this, fd](size_t begin, size_t end) {
            for (size_t i = begin; i < end; ++i)
                statOne(fd, entries_[i]);
        });
        return;
    }
    const int helpers = count >= HugeFolder ? qMin(threads_, QThread::idealThreadCount()) - 1 : 0;
    if (helpers <= 0) {
        for (Entry& entry : entries_)
            statOne(fd, entry);
        return;
    }
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (;;) {
            const size_t begin = next.fetch_add(StatBlock, std::memory_order_relaxed);
            if (begin >= count)
                return;
            const size_t end = qMin(begin + StatBlock, count);
            for (size_t i = begin; i < end; ++i)
                statOne(fd, entries_[i]);
        }
    };
    std::vector<std::thread> others;
    for (int i = 0; i < helpers; ++i)
        others.emplace_back(work);
    work();
    for (std::thread& other : others)
        other.join();
}

// What one entry is, its size and its times; `kept` is false for an entry
// the node does not list. Touches only `entry`, so entries may be statted on
// several threads at once.
void FolderReader::statOne(int fd, Entry& entry) const
{
    const char* name = names_.data() + entry.nameAt;
    EntryStat stat;
    const bool statted = statEntry(fd, name, false, stat);
    entry.kept = true;
    if (statted) {
        // What the entry itself is (a link's own identity, not its target's).
        entry.id = stat.id;
        entry.identified = true;
    }
    if (!statted) {
        // Gone, or in a folder that may be listed but not searched: only
        // what the folder itself says of the entry is known, as with
        // QFileInfo. A file or link is listed without size or times, a
        // folder without times; an entry of unknown type is skipped.
        if (entry.type == DT_REG || entry.type == DT_LNK)
            entry.kind = Kind::File;
        else if (entry.type == DT_DIR)
            entry.kind = Kind::Directory;
        else
            entry.kept = false;
    } else if (S_ISLNK(stat.mode)) {
        // A link is a file whose times are those of what it reaches and
        // whose size is the length of the regular file it reaches.
        entry.kind = Kind::File;
        EntryStat target;
        if (statEntry(fd, name, true, target)) {
            entry.times = target.times;
            if (S_ISREG(target.mode))
                entry.size = linkedFileSize(fd, name);
        }
    } else if (S_ISREG(stat.mode)) {
        entry.kind = Kind::File;
        entry.size = stat.size;
        entry.times = stat.times;
    } else if (S_ISDIR(stat.mode)) {
        entry.kind = Kind::Directory;
        entry.times = stat.times;
    } else {
        entry.kept = false;
    }
}

// Makes each kept entry's sort key once (an ASCII name's straight from its
// bytes, any other from its text), then sorts the entries by key.
void FolderReader::sortEntries()
{
    order_.clear();
    order_.reserve(entries_.size());
    // Each key follows its length in two bytes, read only when two prefixes
    // are equal. names_ holds two bytes more than each name, so it gives
    // room for every ASCII key; only other keys can need more.
    keys_.resize(names_.size());
    size_t used = 0;
    auto makeRoom = [this](size_t size) {
        if (size > keys_.size())
            keys_.resize(qMax(size, 2 * keys_.size()));
    };
    for (quint32 i = 0; i < quint32(entries_.size()); ++i) {
        Entry& entry = entries_[i];
        if (!entry.kept)
            continue;
        const char* name = names_.data() + entry.nameAt;
        const size_t keyAt = used + 2;
        makeRoom(keyAt + entry.nameLength);
        quint16 length = entry.nameLength;
        if (!sortkey::lowerAscii(name, entry.nameLength, &keys_[keyAt])) {
            Decoded decoded;
            decoded.text = NativePath::decodeName(name, entry.nameLength);
            decoded.exact = QFile::encodeName(decoded.text) == QByteArray::fromRawData(name, entry.nameLength);
            std::string key;
            sortkey::appendLowered(key, decoded.text.toLower());
            makeRoom(keyAt + key.size());
            std::memcpy(&keys_[keyAt], key.data(), key.size());
            length = quint16(key.size());
            entry.decoded = decoded_.size();
            decoded_.append(std::move(decoded));
        }
        std::memcpy(&keys_[used], &length, sizeof length);
        used = keyAt + length;
        const char* key = keys_.data() + keyAt;
        order_.push_back({sortkey::prefixOf(key, length), sortkey::prefixOf(length > 8 ? key + 8 : key, length - 8), quint32(keyAt), i});
    }
    // Most pairs differ in their first sixteen bytes: only ties call out.
    std::sort(order_.begin(), order_.end(), [this](const SortItem& a, const SortItem& b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        return a.next != b.next ? a.next < b.next : itemLess(a, b);
    });
    // Only the order is needed from here on: a sixth of the memory while
    // the nodes are made.
    release(keys_);
    sorted_.clear();
    sorted_.reserve(order_.size());
    for (const SortItem& item : order_)
        sorted_.push_back(item.entry);
    release(order_);
}

bool FolderReader::itemLess(const SortItem& a, const SortItem& b) const
{
    if (a.entry == b.entry)
        return false;
    // Equal prefixes: the keys differ, if at all, after their first 16 bytes.
    const int lengthA = keyLength(a);
    const int lengthB = keyLength(b);
    const int order = lengthA > 16 && lengthB > 16
                          ? sortkey::compare(keys_.data() + a.keyAt + 16, lengthA - 16, keys_.data() + b.keyAt + 16,
                                             lengthB - 16)
                          : lengthA - lengthB;
    if (order != 0)
        return order < 0;
    // Equal in lower case: by the exact text.
    const Entry& entryA = entries_[a.entry];
    const Entry& entryB = entries_[b.entry];
    if (entryA.decoded < 0 && entryB.decoded < 0)
        return sortkey::compare(names_.data() + entryA.nameAt, entryA.nameLength, names_.data() + entryB.nameAt,
                                entryB.nameLength)
               < 0;
    return textOf(entryA) < textOf(entryB);
}

int FolderReader::keyLength(const SortItem& item) const
{
    quint16 length;
    std::memcpy(&length, keys_.data() + item.keyAt - 2, sizeof length);
    return length;
}

int FolderReader::textLength(const Entry& entry) const
{
    return entry.decoded < 0 ? entry.nameLength : decoded_.at(entry.decoded).text.size();
}

QString FolderReader::textOf(const Entry& entry) const
{
    return entry.decoded < 0 ? QString::fromLatin1(names_.data() + entry.nameAt, entry.nameLength)
                             : decoded_.at(entry.decoded).text;
}

// The kept entries' counts, and the length of the files' names.
FolderReader::Counts FolderReader::countEntries() const
{
    Counts counts;
    for (const Entry& entry : entries_) {
        if (!entry.kept)
            continue;
        if (entry.kind == Kind::Directory) {
            ++counts.subfolders;
            continue;
        }
        ++counts.files;
        counts.namesLength += textLength(entry);
        counts.latin1 = counts.latin1 && (entry.decoded < 0 || isLatin1(decoded_.at(entry.decoded).text));
    }
    return counts;
}

// The record the folder's files share: their names in one text, filled in
// name order as the files' nodes are made (Latin-1 names written straight
// into their place), with the exact names of those whose text does not give
// them. Null when the folder has no files.
FileNode::Shared* FolderReader::makeShared(const DirectoryNode& node, const Counts& counts) const
{
    if (counts.files == 0)
        return nullptr;
    auto* files = new FileNode::Shared;
    files->folder = node.path();
    files->geometry = geometry_;
    if (counts.latin1)
        files->latin1Names.resize(counts.namesLength);
    else
        files->names.reserve(counts.namesLength);
    return files;
}

// Writes a file's name at `offset` of the shared names: into `latin1Names`
// when the folder's names are all Latin-1, else appended to the text; and
// its exact name where the text does not give it.
void FolderReader::writeName(FileNode::Shared& files, char* latin1Names, const Entry& entry, int offset) const
{
    const char* name = names_.data() + entry.nameAt;
    const bool exact = entry.decoded < 0 || decoded_.at(entry.decoded).exact;
    if (!exact)
        files.rawNames.append({offset, NativePath::fromBytes(QByteArray(name, entry.nameLength))});
    if (entry.decoded < 0 && latin1Names)
        std::memcpy(latin1Names + offset, name, entry.nameLength);
    else if (entry.decoded < 0)
        files.names += QLatin1String(name, entry.nameLength);
    else if (latin1Names)
        writeLatin1(latin1Names + offset, decoded_.at(entry.decoded).text);
    else
        files.names += decoded_.at(entry.decoded).text;
}

// A subfolder's node, appended to its folder's; `children` gets its exact
// name and identity. It keeps its exact name only where its text does not
// give it.
DirectoryNodePtr FolderReader::appendSubfolder(const DirectoryNodePtr& folder, const Entry& entry,
                                               QVector<ChildFolder>& children) const
{
    const bool exact = entry.decoded < 0 || decoded_.at(entry.decoded).exact;
    QByteArray rawName(names_.data() + entry.nameAt, entry.nameLength);
    const NativePath exactName = exact ? NativePath() : NativePath::fromBytes(rawName);
    const DirectoryNodePtr subfolder =
        DirectoryNodePtr::create(folder, folder->path().child(textOf(entry), exactName), entry.times);
    folder->appendSubdirectory(subfolder);
    children.append({std::move(rawName), entry.id});
    return subfolder;
}

FolderSums FolderReader::build(const DirectoryNodePtr& folder, QVector<ChildFolder>& children)
{
    DirectoryNode& node = *folder;
    const Counts counts = countEntries();
    FileNode::Shared* const files = makeShared(node, counts);
    const FileNode::SharedPtr shared(files);
    char* const latin1Names = files && counts.latin1 ? files->latin1Names.data() : nullptr;

    // The root's entries are what packages hold: their identities let a move
    // tell the scanned item from another put in its place since.
    std::vector<std::pair<const iPackagable*, FileIdentity>> identities;
    const bool isRoot = node.depth() == 0;
    if (isRoot)
        identities.reserve(sorted_.size());
    auto identify = [&](const iPackagable* item, const Entry& entry) {
        if (isRoot && entry.identified)
            identities.emplace_back(item, FileIdentity{quint64(entry.id.device), quint64(entry.id.inode)});
    };

    FolderSums sums;
    node.reserve(counts.files, counts.subfolders);
    children.reserve(counts.subfolders);
    int offset = 0;
    for (const quint32 index : sorted_) {
        const Entry& entry = entries_[index];
        if (entry.kind != Kind::File) {
            identify(appendSubfolder(folder, entry, children).data(), entry);
            continue;
        }
        writeName(*files, latin1Names, entry, offset);
        const int length = textLength(entry);
        const FileNodePtr file = FileNodePtr::create(shared, offset, length, entry.size, entry.times);
        node.appendFile(file);
        identify(file.data(), entry);
        offset += length;
        sums.size = addSaturating(sums.size, entry.size);
        sums.sizeOnDisk = addSaturating(sums.sizeOnDisk, geometry_.roundToClusters(entry.size));
    }
    if (isRoot)
        node.setChildIdentities(std::make_unique<const ChildIdentities>(std::move(identities)));
    return sums;
}

} // namespace korvo::listing
