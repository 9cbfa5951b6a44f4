#pragma once

#include "NativePath.h"

#include <QString>

namespace korvo {

// The lines the move, its journal and its recovery say about a step that
// failed, built in one place for the packaging dialog and korvo-cli alike.
namespace MoveTexts {

// A path as the lines show it: the system's own separators.
QString shown(const NativePath& path);

// "STEP failed. path:PATH winError:CODE (TEXT)." with the system's own
// code and text, without a line end.
QString failure(const char* step, const NativePath& path, qint64 errorCode);

} // namespace MoveTexts
} // namespace korvo
