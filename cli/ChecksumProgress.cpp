#include "ChecksumProgress.h"

#include "Console.h"

#include <QLocale>

namespace korvo::cli {

ChecksumProgress::ChecksumProgress(const QString& what) : what_(what), terminal_(stderrIsTerminal())
{
    clock_.start();
}

ChecksumProgress::~ChecksumProgress()
{
    clearProgressLine();
}

ChecksumManifest::Progress ChecksumProgress::callback()
{
    return [this](qint64 bytes, qint64 total) { add(bytes, total); };
}

void ChecksumProgress::add(qint64 bytes, qint64 total)
{
    done_ += bytes;
    if (!terminal_ || clock_.elapsed() < nextReport_)
        return;
    nextReport_ = clock_.elapsed() + 250;
    const qint64 percent = total > 0 ? qMin<qint64>(100, done_ * 100 / total) : 100;
    const QLocale c = QLocale::c();
    printProgressLine(QStringLiteral("%1: %2% (%3 of %4 MB)")
                          .arg(what_)
                          .arg(percent)
                          .arg(c.toString(done_ / 1000000))
                          .arg(c.toString(total / 1000000)));
}

} // namespace korvo::cli
