#include "PackageMoveWorker.h"

#include <QMutexLocker>

namespace korvo {

namespace {
// The shortest time between two item counts or listing percentages sent to
// the receiver: often enough for a progress bar, rare enough not to flood
// its event queue.
const qint64 ItemSignalMilliseconds = 50;
} // namespace

// Passes the job's steps on as signals, from the worker's thread.
class PackageMoveWorker::Observer : public PackageMoveObserver
{
public:
    explicit Observer(PackageMoveWorker* worker) : worker_(worker) { sinceSignal_.start(); }

    void packageStarted(const PackageMoveResult& result) override
    {
        sinceSignal_.restart();
        emit worker_->packageStarted(result);
    }
    void itemsMoved(int index, int done, int total) override
    {
        if (done != total && sinceSignal_.elapsed() < ItemSignalMilliseconds)
            return;
        sinceSignal_.restart();
        emit worker_->itemsMoved(index, done, total);
    }
    void listingStarted(const PackageMoveResult& result) override
    {
        sinceSignal_.restart();
        emit worker_->listingStarted(result);
    }
    void listingProgress(qreal percent) override
    {
        if (percent < 100.0 && sinceSignal_.elapsed() < ItemSignalMilliseconds)
            return;
        sinceSignal_.restart();
        emit worker_->listingProgress(percent);
    }
    void imageStarted(const PackageMoveResult& result) override { emit worker_->imageStarted(result); }
    void interruptedUndone(bool allUndone, const QString& lines) override { emit worker_->undone(allUndone, lines); }
    void packageEnded(const PackageMoveResult& result) override
    {
        emit worker_->packageEnded(result);
        if (worker_->pause_)
            worker_->waitForResume();
    }

private:
    PackageMoveWorker* worker_;
    QElapsedTimer sinceSignal_;
};

PackageMoveWorker::PackageMoveWorker(const PackageMoveRequest& request, QObject* parent)
    : QThread(parent), job_(request)
{
    qRegisterMetaType<PackageMoveResult>();
}

PackageMoveWorker::~PackageMoveWorker()
{
    // Never left running with a job that reads a tree about to go: stop after
    // the current package, and let a paused thread end instead of waiting.
    requestStop();
    {
        QMutexLocker lock(&mutex_);
        abandoned_ = true;
        resumed_.wakeAll();
    }
    wait();
}

void PackageMoveWorker::resume()
{
    QMutexLocker lock(&mutex_);
    resumeGiven_ = true;
    resumed_.wakeAll();
}

void PackageMoveWorker::waitForResume()
{
    QMutexLocker lock(&mutex_);
    while (!resumeGiven_ && !abandoned_)
        resumed_.wait(&mutex_);
    resumeGiven_ = false;
}

void PackageMoveWorker::run()
{
    Observer observer(this);
    job_.setObserver(&observer);
    outcome_ = job_.run();
    job_.setObserver(nullptr);
}

} // namespace korvo
