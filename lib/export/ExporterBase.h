#pragma once

#include "Exporter.h"

#include <QString>

#include <atomic>
#include <functional>

namespace korvo::exporting {

class TargetFile;

// What both exporters carry ahead of their settings: the item counts of the
// text walk and the percentage the GUI thread polls while the export thread
// raises it. The percentage is atomic, so a poll never sees a torn value.
// The frame of an export is the same for both: open the target, write the
// format's document, put the file in place; 100 percent only after that.
class ExporterBase : public iExporter
{
public:
    qreal progress() const override { return progressValue.load(std::memory_order_relaxed); }
    bool exportTo(const QString& path, const DirectoryNodePtr& root, QString* errorString) final;
    bool exportTo(const NativePath& target, TargetMode mode, const DirectoryNodePtr& root,
                  QString* errorString) final;

    // The version the documents name, and the generator line both formats
    // begin with.
    static QString versionText();
    static QString generatorText();

    // Called on the export's thread with every new percentage, for a caller
    // that shows it as it goes (or a test that follows each step); none by
    // default.
    using ProgressObserver = std::function<void(qreal)>;
    void setProgressObserver(const ProgressObserver& observer) { progressObserver = observer; }

protected:
    // Writes the format's document into the open target, stopping at the
    // first failed write (the target then knows it has failed).
    virtual void writeDocument(TargetFile& target, const DirectoryNode& root) = 0;
    void setProgress(qreal value)
    {
        progressValue.store(value, std::memory_order_relaxed);
        if (progressObserver)
            progressObserver(value);
    }

    qint32 done = 0;
    qint32 total = 0;

private:
    std::atomic<qreal> progressValue{0.0};
    ProgressObserver progressObserver;
};

} // namespace korvo::exporting
