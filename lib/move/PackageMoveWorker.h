#pragma once

#include "NativePath.h"
#include "PackageMoveJob.h"

#include <QElapsedTimer>
#include <QList>
#include <QMetaType>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

namespace korvo {

// Runs a PackageMoveJob on a thread of its own, so that a window stays
// responsive while packages move, and reports each step by queued signals.
//
// With pauseAfterEachPackage set, the thread waits after each package until
// resume() is called: the receiver of packageEnded may then take the moved
// items out of the tree on its own thread while the job is not reading it.
// Undoing interrupted moves (PackageMoveRequest::undoInterrupted) runs on
// this thread too, inside the job and under its lock; the packages move only
// when every one of them was undone.
class PackageMoveWorker : public QThread
{
    Q_OBJECT
public:
    explicit PackageMoveWorker(const PackageMoveRequest& request, QObject* parent = nullptr);
    // Stops after the current package and waits for the thread.
    ~PackageMoveWorker() override;

    void setPauseAfterEachPackage(bool pause) { pause_ = pause; }

    // Any thread: the current package finishes or is undone, no other starts.
    void requestStop() { job_.requestStop(); }
    bool stopRequested() const { return job_.stopRequested(); }
    // Lets a paused thread go on with the next package.
    void resume();

    // Before the thread starts, and once it has ended.
    const PackageMoveJob& job() const { return job_; }
    PackageMoveJob::Outcome outcome() const { return outcome_; }

signals:
    void packageStarted(const korvo::PackageMoveResult& result);
    // Items moved in the current package; at most about every 50 ms, and
    // always for the last one.
    void itemsMoved(int index, int done, int total);
    void listingStarted(const korvo::PackageMoveResult& result);
    // The listing's percentage; at most about every 50 ms, and always 100.
    void listingProgress(qreal percent);
    void imageStarted(const korvo::PackageMoveResult& result);
    void packageEnded(const korvo::PackageMoveResult& result);
    // The interrupted moves were undone (or not): the report's lines.
    void undone(bool allUndone, const QString& lines);

protected:
    void run() override;

private:
    class Observer;
    void waitForResume();

    PackageMoveJob job_;
    PackageMoveJob::Outcome outcome_ = PackageMoveJob::Finished;
    bool pause_ = false;
    QMutex mutex_;
    QWaitCondition resumed_;
    bool resumeGiven_ = false;
    bool abandoned_ = false;
};

} // namespace korvo

Q_DECLARE_METATYPE(korvo::PackageMoveResult)
