#include "EnumerateWorker.h"

#include "Enumerate.h"

#include <QTimer>

namespace korvo {

EnumerateWorker::EnumerateWorker(QObject* parent)
    : QThread(parent)
{
    registerMetaTypes();
    auto* timer = new QTimer(this);
    timer->setObjectName(QStringLiteral("Timer"));
    connect(timer, &QTimer::timeout, this, &EnumerateWorker::triggerProgress);
    timer->start(1000);
}

EnumerateWorker::~EnumerateWorker()
{
    // A worker destroyed with its scan still running stops the scan rather
    // than leaving a thread behind.
    if (isRunning()) {
        cancel();
        wait();
    }
}

void EnumerateWorker::setDirectory(const QDir& directory)
{
    setDirectory(NativePath::fromText(directory.absolutePath()));
}

void EnumerateWorker::setDirectory(const NativePath& directory)
{
    directory_ = directory;
    cancelFlag_.store(false);
}

EnumerateProgress EnumerateWorker::snapshot() const
{
    QMutexLocker locker(&progressLock_);
    return progress_;
}

void EnumerateWorker::cancel()
{
    cancelFlag_.store(true);
}

void EnumerateWorker::triggerProgress()
{
    if (isRunning())
        emit progress(snapshot());
}

void EnumerateWorker::run()
{
    {
        QMutexLocker locker(&progressLock_);
        progress_.reset();
    }
    DirectoryNodePtr root =
        enumerateTree(directory_, cancelFlag_, progress_, &progressLock_, EnumerateOptions());
    const EnumerateProgress stats = snapshot();
    const bool isCanceled = cancelFlag_.load();
    if (!isCanceled)
        emit progress(stats);
    emit finished(isCanceled ? DirectoryNodePtr() : root, stats, isCanceled);
    // A later cancel() refers to no scan; a start() without a new
    // setDirectory() must not inherit this one's flag.
    cancelFlag_.store(false);
    // The worker's reference goes here; the tree lives on in the receivers.
}

} // namespace korvo

// The meta-object code lives with the class, so that using the worker links
// in nothing but the worker.
#include "moc_EnumerateWorker.cpp"
