#pragma once

#include "DirectoryNode.h"
#include "EnumerateProgress.h"
#include "NativePath.h"
#include "ScanJob.h"

#include <QDir>
#include <QThread>

namespace korvo {

// The scan room: a dropped folder becomes a tree of nodes.
//
// EnumerateWorker runs one ScanJob at a time on its own thread and adds only
// the thread and its signals. A timer on the owner's thread reports the
// running figures once a second while a scan runs; the end of a run reports
// the final figures (unless cancelled) and hands the tree over, both queued
// to the owner's thread. The worker is made, set up, started, cancelled and
// destroyed on its owner's thread; destroying it while a scan runs cancels
// the scan and waits for the thread. The tree of finished() belongs to its
// receivers: the worker keeps no reference to it.
class EnumerateWorker : public QThread
{
    Q_OBJECT
public:
    explicit EnumerateWorker(QObject* parent = nullptr);
    ~EnumerateWorker() override;

    // Sets the folder of the next scan and clears the cancel flag, so that a
    // cancel() arriving right after start() reaches this scan. Call only
    // while the thread is not running.
    void setDirectory(const QDir& directory);
    // The same by the folder's exact path (on Linux its bytes need not be
    // valid UTF-8).
    void setDirectory(const NativePath& directory);
    QDir directory() const { return QDir(job_.folder().toText()); }

    // A consistent copy of the running figures.
    EnumerateProgress snapshot() const { return job_.snapshot(); }

signals:
    // The scan's report, queued to the owner's thread. It hides QThread's
    // finished() by name: the thread's own ended notice, which follows it,
    // is connected as &QThread::finished.
    void finished(const korvo::DirectoryNodePtr& root, const korvo::EnumerateProgress& stats, bool isCanceled);
    void progress(const korvo::EnumerateProgress& stats);

public slots:
    void cancel();

private slots:
    void triggerProgress();

protected:
    void run() override;

private:
    ScanJob job_;
};

// Registers DirectoryNodePtr and EnumerateProgress with Qt's meta-type system
// under "korvo::DirectoryNodePtr" and "korvo::EnumerateProgress" so they can
// cross threads in queued signals. Safe to call more than once.
void registerMetaTypes();

} // namespace korvo
