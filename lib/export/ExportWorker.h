#pragma once

#include "DirectoryNode.h"
#include "Exporter.h"
#include "NativePath.h"

#include <QString>
#include <QThread>

namespace korvo {

// Runs one export at a time on its own thread. A timer on the owner's thread
// reports the exporter's percentage once a second while it runs; every run
// ends with one progress report and then finished(ok, path, error), queued
// to the owner's thread. Set up, started and destroyed on the owner's
// thread; destroying it waits for a running export to end. The tree and the
// exporter are shared with the caller, who must not change the tree while
// the export runs.
class ExportWorker : public QThread
{
    Q_OBJECT
public:
    explicit ExportWorker(QObject* parent = nullptr);
    ~ExportWorker() override;

    // Call only while the thread is not running. The mode says what the
    // export may do to an existing file of that name (Exporter.h).
    void setup(const QString& path, const DirectoryNodePtr& root, const ExporterPtr& exporter,
               TargetMode mode = TargetMode::Replace);
    // The same for a target given by its exact path; the reports name it by
    // its text, in the system's own form.
    void setup(const NativePath& path, const DirectoryNodePtr& root, const ExporterPtr& exporter,
               TargetMode mode = TargetMode::Replace);

signals:
    // The export's report, queued to the owner's thread. It hides QThread's
    // finished() by name: the thread's own ended notice, which follows it,
    // is connected as &QThread::finished.
    void finished(bool isSucceeded, const QString& path, const QString& errorString);
    void progress(qreal value);

private slots:
    void triggerProgress();

protected:
    void run() override;

private:
    QString path_;
    DirectoryNodePtr root_;
    ExporterPtr exporter_;
    NativePath target_;
    TargetMode mode_ = TargetMode::Replace;
};

} // namespace korvo
