#pragma once

#include "Exporter.h"

#include <QString>

#include <atomic>

namespace korvo::exporting {

// What both exporters carry ahead of their settings: the item counts of the
// text walk and the percentage the GUI thread polls while the export thread
// raises it. The percentage is atomic, so a poll never sees a torn value.
class ExporterBase : public iExporter
{
public:
    qreal progress() const override { return progressValue.load(std::memory_order_relaxed); }

    // The version the documents name, and the generator line both formats
    // begin with.
    static QString versionText();
    static QString generatorText();

protected:
    void setProgress(qreal value) { progressValue.store(value, std::memory_order_relaxed); }

    qint32 done = 0;
    qint32 total = 0;

private:
    std::atomic<qreal> progressValue{0.0};
};

} // namespace korvo::exporting
