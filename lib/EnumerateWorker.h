#pragma once

#include "DirectoryNode.h"
#include "EnumerateProgress.h"
#include "NativePath.h"

#include <QDir>
#include <QMutex>
#include <QThread>

#include <atomic>

namespace korvo {

// Runs one scan at a time on its own thread. A timer on the owner's thread
// reports the running figures once a second while a scan runs; the end of a
// run reports the final figures (unless cancelled) and hands the tree over.
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
    QDir directory() const { return QDir(directory_.toText()); }

    // A consistent copy of the running figures.
    EnumerateProgress snapshot() const;

signals:
    void finished(const korvo::DirectoryNodePtr& root, const korvo::EnumerateProgress& stats, bool isCanceled);
    void progress(const korvo::EnumerateProgress& stats);

public slots:
    void cancel();

private slots:
    void triggerProgress();

protected:
    void run() override;

private:
    std::atomic<bool> cancelFlag_{false};
    // The record is written by the scan and copied by the timer's thread; a
    // mutex guards both sides, so a copy never sees a half-made update (its
    // 64-bit sums and counts change together, once per folder).
    mutable QMutex progressLock_;
    EnumerateProgress progress_;
    NativePath directory_;
};

} // namespace korvo
