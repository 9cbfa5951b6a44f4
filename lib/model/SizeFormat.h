#pragma once

#include <QString>

namespace korvo {

// Binary units, as 64-bit byte counts.
constexpr qint64 Byte = 1;
constexpr qint64 KibiByte = qint64(1) << 10;
constexpr qint64 MebiByte = qint64(1) << 20;
constexpr qint64 GibiByte = qint64(1) << 30;
constexpr qint64 TebiByte = qint64(1) << 40;
constexpr qint64 PebiByte = qint64(1) << 50;
constexpr qint64 ExbiByte = qint64(1) << 60;

// The one text form of a byte count: "1.50 KiB (1,536 バイト)".
QString formatSize(qint64 value);
// The largest unit not greater than the value (Byte below 1,024).
qint64 unitFor(qint64 value);
// "B", "KiB", ... "EiB"; empty for anything that is not a unit.
QString unitName(qint64 unit);

} // namespace korvo
