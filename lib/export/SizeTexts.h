#pragma once

#include <QString>
#include <QVector>

namespace korvo::exporting {

// formatSize with a memory of recent values: sizes on disk are whole
// clusters and many files share a size, so most texts are made only once.
// One instance per export, used by one thread.
class SizeTexts
{
public:
    SizeTexts();
    const QString& text(qint64 value);

private:
    struct Entry
    {
        qint64 value = 0;
        bool filled = false;
        QString text;
    };
    static constexpr int Slots = 1 << 12;
    QVector<Entry> entries_;
};

} // namespace korvo::exporting
