#include "EnumerateWorker.h"

#include <QTimer>

namespace korvo {

void registerMetaTypes()
{
    qRegisterMetaType<korvo::DirectoryNodePtr>("korvo::DirectoryNodePtr");
    qRegisterMetaType<korvo::EnumerateProgress>("korvo::EnumerateProgress");
}

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
    job_.setFolder(directory);
}

void EnumerateWorker::cancel()
{
    job_.cancel();
}

void EnumerateWorker::triggerProgress()
{
    if (isRunning())
        emit progress(snapshot());
}

void EnumerateWorker::run()
{
    const ScanOutcome outcome = job_.run();
    if (!outcome.isCanceled)
        emit progress(outcome.stats);
    emit finished(outcome.root, outcome.stats, outcome.isCanceled);
    // The outcome's reference goes here; the tree lives on in the receivers.
}

} // namespace korvo

// The meta-object code lives with the class, so that using the worker links
// in nothing but the worker.
#include "moc_EnumerateWorker.cpp"
