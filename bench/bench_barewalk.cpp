// The limit the scan is held against: a bare walk of a folder tree in plain
// C calls, with getdents64 and statx relative to open folder descriptors, on
// a few threads sharing one stack of opened folders, with no allocation per
// entry. It only counts: files, folders, the sum of the sizes and of the
// blocks. No names are kept, sorted or converted.
//
//   build/bin/bench_barewalk [--threads N] DIR     (2 threads by default)

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const int FolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

// Opened folders waiting to be listed, and how many are being listed now:
// the walk ends when both are zero.
struct Work
{
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t ready = PTHREAD_COND_INITIALIZER;
    std::vector<int> folders;
    int busy = 0;
};

struct Totals
{
    long long files = 0;
    long long folders = 0;
    long long bytes = 0;
    long long blocks = 0;
};

Work work;
std::atomic<long long> errors{0};

void push(int fd)
{
    pthread_mutex_lock(&work.lock);
    work.folders.push_back(fd);
    pthread_cond_signal(&work.ready);
    pthread_mutex_unlock(&work.lock);
}

// The next folder to list, or -1 when the walk is over.
int take()
{
    pthread_mutex_lock(&work.lock);
    while (work.folders.empty() && work.busy > 0)
        pthread_cond_wait(&work.ready, &work.lock);
    int fd = -1;
    if (!work.folders.empty()) {
        fd = work.folders.back();
        work.folders.pop_back();
        ++work.busy;
    } else {
        pthread_cond_broadcast(&work.ready);
    }
    pthread_mutex_unlock(&work.lock);
    return fd;
}

void finished()
{
    pthread_mutex_lock(&work.lock);
    if (--work.busy == 0 && work.folders.empty())
        pthread_cond_broadcast(&work.ready);
    pthread_mutex_unlock(&work.lock);
}

void list(int fd, char* buffer, size_t size, Totals& totals)
{
    for (;;) {
        const ssize_t length = getdents64(fd, buffer, size);
        if (length <= 0) {
            if (length < 0)
                ++errors;
            break;
        }
        for (ssize_t at = 0; at < length;) {
            const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + at);
            at += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            struct statx stat;
            if (statx(fd, name, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &stat) != 0) {
                ++errors;
                continue;
            }
            if (S_ISDIR(stat.stx_mode)) {
                ++totals.folders;
                const int child = openat(fd, name, FolderFlags | O_NOFOLLOW);
                if (child >= 0)
                    push(child);
                else
                    ++errors;
            } else {
                ++totals.files;
                totals.bytes += (long long)stat.stx_size;
                totals.blocks += (long long)stat.stx_blocks;
            }
        }
    }
    close(fd);
}

void walker(Totals* totals)
{
    const size_t size = 64 * 1024;
    char* buffer = static_cast<char*>(std::malloc(size));
    for (int fd; (fd = take()) >= 0;) {
        list(fd, buffer, size, *totals);
        finished();
    }
    std::free(buffer);
}

} // namespace

int main(int argc, char* argv[])
{
    int threads = 2;
    const char* root = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc)
            threads = std::atoi(argv[++i]);
        else
            root = argv[i];
    }
    if (!root || threads < 1) {
        std::fprintf(stderr, "usage: bench_barewalk [--threads N] DIR\n");
        return 2;
    }
    // Waiting folders stay open: allow as many descriptors as the system does.
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    const int fd = open(root, FolderFlags);
    if (fd < 0) {
        std::fprintf(stderr, "bench_barewalk: %s: %s\n", root, std::strerror(errno));
        return 1;
    }
    work.folders.reserve(1 << 16);
    work.folders.push_back(fd);
    std::vector<Totals> totals(static_cast<size_t>(threads));
    std::vector<std::thread> pool;
    for (int i = 0; i < threads; ++i)
        pool.emplace_back(walker, &totals[size_t(i)]);
    for (std::thread& thread : pool)
        thread.join();
    Totals sum;
    for (const Totals& part : totals) {
        sum.files += part.files;
        sum.folders += part.folders;
        sum.bytes += part.bytes;
        sum.blocks += part.blocks;
    }
    std::printf("files %lld folders %lld bytes %lld blocks %lld errors %lld\n", sum.files, sum.folders, sum.bytes,
                sum.blocks, errors.load());
    return 0;
}
