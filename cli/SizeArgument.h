#pragma once

#include <QString>
#include <QtGlobal>

namespace korvo::cli {

// Reads a size given on the command line: plain bytes ("700000000"), or a
// number, possibly with a fraction, and a unit: K, M, G, T with or without a
// trailing B are decimal, as disc makers count ("700M", "4.7G", "25GB"); KiB,
// MiB, GiB, TiB are binary ("700MiB", "4GiB"). Units ignore case. A fraction
// of a byte is dropped. False for anything else, including a sign, blanks
// and sizes beyond a 64-bit count.
bool parseSize(const QString& text, qint64& bytes);

// The accepted forms, for usage messages.
extern const char* const SizeForms;

} // namespace korvo::cli
