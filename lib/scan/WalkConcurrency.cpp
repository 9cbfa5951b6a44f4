#include "WalkConcurrency.h"

#include <QThread>

namespace korvo {

FileSystemProbe systemFileSystemProbe()
{
    return [](const NativePath& folder, int fd) {
#ifndef _WIN32
        if (fd >= 0)
            return platform::fileSystemKindOfOpen(fd);
#else
        Q_UNUSED(fd);
#endif
        return platform::fileSystemKind(folder);
    };
}

WalkConcurrency walkConcurrency(platform::FileSystemKind kind, int requested, int environment, int processors)
{
    WalkConcurrency concurrency;
    concurrency.shareStats = kind == platform::FileSystemKind::Remote;
    const int given = requested > 0 ? requested : environment;
    if (given > 0) {
        concurrency.walkers = qMin(given, MaxWalkers);
        concurrency.fixed = true;
    } else if (kind == platform::FileSystemKind::Remote) {
        concurrency.walkers = MaxWalkers;
    } else {
        concurrency.walkers = qBound(4, 4 * qMax(processors, 1), 32);
    }
    return concurrency;
}

WalkConcurrency walkConcurrency(platform::FileSystemKind kind, int requested)
{
    bool ok = false;
    const int environment = qEnvironmentVariableIntValue("KORVO_SCAN_THREADS", &ok);
    return walkConcurrency(kind, requested, ok ? environment : 0, QThread::idealThreadCount());
}

} // namespace korvo
