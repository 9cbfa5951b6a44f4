#include "SizeTexts.h"

#include "SizeFormat.h"

namespace korvo::exporting {

SizeTexts::SizeTexts()
    : entries_(Slots)
{
}

const QString& SizeTexts::text(qint64 value)
{
    // Multiplicative hashing spreads multiples of the cluster size too.
    const quint64 hash = quint64(value) * 0x9E3779B97F4A7C15ULL;
    Entry& entry = entries_[int(hash >> 52)];
    if (!entry.filled || entry.value != value) {
        entry.value = value;
        entry.filled = true;
        entry.text = formatSize(value);
    }
    return entry.text;
}

} // namespace korvo::exporting
