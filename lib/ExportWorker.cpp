#include "ExportWorker.h"

#include <QDir>
#include <QTimer>

namespace korvo {

ExportWorker::ExportWorker(QObject* parent)
    : QThread(parent)
{
    // The timer lives in the creating thread and polls the exporter there;
    // it only reports while a run is under way.
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &ExportWorker::triggerProgress);
    timer->start(1000);
}

ExportWorker::~ExportWorker()
{
    // A worker destroyed during an export (its owner torn down without the
    // closing sequence) lets the export end rather than leave a thread that
    // reads a tree and writes a file after the worker has gone.
    wait();
}

void ExportWorker::setup(const QString& path, const DirectoryNodePtr& root, const ExporterPtr& exporter,
                         TargetMode mode)
{
    setup(NativePath::fromText(path), root, exporter, mode);
    path_ = path;
}

void ExportWorker::setup(const NativePath& path, const DirectoryNodePtr& root, const ExporterPtr& exporter,
                         TargetMode mode)
{
    path_ = QDir::toNativeSeparators(path.toText());
    root_ = root;
    exporter_ = exporter;
    target_ = path;
    mode_ = mode;
}

void ExportWorker::triggerProgress()
{
    if (isRunning() && exporter_)
        emit progress(exporter_->progress());
}

void ExportWorker::run()
{
    QString errorString;
    bool ok = false;
    if (exporter_)
        ok = exporter_->exportTo(target_, mode_, root_, &errorString);
    else
        errorString = QStringLiteral("エクスポーターが指定されていません。");

    // Every run ends with one report of the final percentage: 100 after a
    // success, whatever was reached after a failure.
    emit progress(exporter_ ? exporter_->progress() : 0.0);
    emit finished(ok, path_, errorString);
    // The tree is released here; the exporter stays until the next setup.
    root_.reset();
    quit();
}

} // namespace korvo
