#pragma once

#include "NativePath.h"

#include <QVector>

namespace korvo::cli {

// Keeps the program's arguments as the system passed them; main() calls it
// before Qt sees them.
void keepNativeArguments(int argc, char* argv[]);

// The arguments after the command's name, exactly: the bytes of the C argv
// on Linux, where a file name need not be valid UTF-8 and Qt's decoding
// would replace such bytes; the UTF-16 text on Windows, with "\" turned
// into "/" as Qt writes paths.
QVector<NativePath> nativeArguments();

} // namespace korvo::cli
