// A read-only FUSE passthrough that answers each request after a fixed
// delay, as a network share answers after a round trip: the stand-in for
// NFS or SMB in bench/share_bench.sh and in the scan tests. The kernel is
// told to cache nothing (entries, attributes, directory pages), so every
// lookup, stat, opendir, readdir and open reaches this program and waits.
//
//   delayfs [--delay-us N] [--stats FILE] SOURCE MOUNTPOINT [FUSE options]
//
// On unmount it writes to FILE the number of requests it answered, by
// kind, and the most it had in flight at once:
//   requests 24752
//   in_flight_peak 64
//   getattr 12345
//   ...

#define FUSE_USE_VERSION 31

#include <fuse.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

namespace {

enum Op { GetAttr, ReadLink, OpenDir, ReadDir, Open, Read, StatFs, OpCount };
const char* const OpNames[OpCount] = {"getattr", "readlink", "opendir", "readdir", "open", "read", "statfs"};

int sourceFd = -1;
long delayMicroseconds = 0;
std::string statsPath;
std::atomic<long> counts[OpCount];
std::atomic<long> inFlight{0};
std::atomic<long> inFlightPeak{0};

// Counts one request and holds it for the delay; the request is in flight
// until the object goes.
class Request
{
public:
    explicit Request(Op op)
    {
        counts[op].fetch_add(1);
        const long now = inFlight.fetch_add(1) + 1;
        long peak = inFlightPeak.load();
        while (now > peak && !inFlightPeak.compare_exchange_weak(peak, now)) {
        }
        if (delayMicroseconds > 0) {
            struct timespec wait = {delayMicroseconds / 1000000, (delayMicroseconds % 1000000) * 1000};
            while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
            }
        }
    }
    ~Request() { inFlight.fetch_sub(1); }
};

// The path below the source folder: "/" is the folder itself.
const char* relative(const char* path)
{
    while (*path == '/')
        ++path;
    return *path ? path : ".";
}

void* init(struct fuse_conn_info* conn, struct fuse_config* config)
{
    config->use_ino = 1;
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    config->direct_io = 1;
    conn->want &= ~(FUSE_CAP_READDIRPLUS | FUSE_CAP_READDIRPLUS_AUTO);
    return nullptr;
}

void destroy(void*)
{
    if (statsPath.empty())
        return;
    FILE* out = std::fopen(statsPath.c_str(), "w");
    if (!out)
        return;
    long total = 0;
    for (const auto& count : counts)
        total += count.load();
    std::fprintf(out, "requests %ld\nin_flight_peak %ld\n", total, inFlightPeak.load());
    for (int op = 0; op < OpCount; ++op)
        std::fprintf(out, "%s %ld\n", OpNames[op], counts[op].load());
    std::fclose(out);
}

int getattr(const char* path, struct stat* buffer, struct fuse_file_info* file)
{
    Request request(GetAttr);
    const int result = file ? ::fstat(int(file->fh), buffer)
                            : ::fstatat(sourceFd, relative(path), buffer, AT_SYMLINK_NOFOLLOW);
    return result == 0 ? 0 : -errno;
}

int readlink(const char* path, char* buffer, size_t size)
{
    Request request(ReadLink);
    const ssize_t length = ::readlinkat(sourceFd, relative(path), buffer, size - 1);
    if (length < 0)
        return -errno;
    buffer[length] = '\0';
    return 0;
}

int opendir(const char* path, struct fuse_file_info* file)
{
    Request request(OpenDir);
    const int fd = ::openat(sourceFd, relative(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return -error;
    }
    file->fh = reinterpret_cast<uint64_t>(dir);
    return 0;
}

// Gives the whole folder in one answer (the library serves the kernel's
// further reads of it from what it was given).
int readdir(const char*, void* buffer, fuse_fill_dir_t fill, off_t, struct fuse_file_info* file,
            enum fuse_readdir_flags)
{
    Request request(ReadDir);
    DIR* dir = reinterpret_cast<DIR*>(file->fh);
    ::rewinddir(dir);
    errno = 0;
    while (const struct dirent* entry = ::readdir(dir)) {
        struct stat info;
        std::memset(&info, 0, sizeof info);
        info.st_ino = entry->d_ino;
        info.st_mode = mode_t(DTTOIF(entry->d_type));
        if (fill(buffer, entry->d_name, &info, 0, fuse_fill_dir_flags(0)) != 0)
            break;
    }
    return errno == 0 ? 0 : -errno;
}

int releasedir(const char*, struct fuse_file_info* file)
{
    ::closedir(reinterpret_cast<DIR*>(file->fh));
    return 0;
}

int open(const char* path, struct fuse_file_info* file)
{
    Request request(Open);
    if ((file->flags & O_ACCMODE) != O_RDONLY)
        return -EROFS;
    const int fd = ::openat(sourceFd, relative(path), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return -errno;
    file->fh = uint64_t(fd);
    return 0;
}

int read(const char*, char* buffer, size_t size, off_t offset, struct fuse_file_info* file)
{
    Request request(Read);
    const ssize_t got = ::pread(int(file->fh), buffer, size, offset);
    return got < 0 ? -errno : int(got);
}

int release(const char*, struct fuse_file_info* file)
{
    ::close(int(file->fh));
    return 0;
}

int statfs(const char*, struct statvfs* buffer)
{
    Request request(StatFs);
    return ::fstatvfs(sourceFd, buffer) == 0 ? 0 : -errno;
}

void usage()
{
    std::fprintf(stderr, "Usage: delayfs [--delay-us N] [--stats FILE] SOURCE MOUNTPOINT [FUSE options]\n");
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<char*> fuseArguments{argv[0]};
    const char* source = nullptr;
    int at = 1;
    for (; at < argc; ++at) {
        const std::string argument = argv[at];
        if (argument == "--delay-us" && at + 1 < argc)
            delayMicroseconds = std::strtol(argv[++at], nullptr, 10);
        else if (argument == "--stats" && at + 1 < argc)
            statsPath = argv[++at];
        else
            break;
    }
    if (argc - at < 2 || delayMicroseconds < 0) {
        usage();
        return 2;
    }
    source = argv[at++];
    sourceFd = ::open(source, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (sourceFd < 0) {
        std::fprintf(stderr, "delayfs: cannot open %s: %s\n", source, std::strerror(errno));
        return 1;
    }
    // Enough threads that the program itself never limits the requests in
    // flight; a read-only mount.
    static char options[] = "-oro,max_threads=256,max_idle_threads=256,fsname=delayfs,subtype=delayfs";
    fuseArguments.push_back(options);
    for (; at < argc; ++at)
        fuseArguments.push_back(argv[at]);

    struct fuse_operations operations;
    std::memset(&operations, 0, sizeof operations);
    operations.init = init;
    operations.destroy = destroy;
    operations.getattr = getattr;
    operations.readlink = readlink;
    operations.opendir = opendir;
    operations.readdir = readdir;
    operations.releasedir = releasedir;
    operations.open = open;
    operations.read = read;
    operations.release = release;
    operations.statfs = statfs;
    return fuse_main(int(fuseArguments.size()), fuseArguments.data(), &operations, nullptr);
}
