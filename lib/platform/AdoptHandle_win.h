#pragma once

#include <QFile>

#include <windows.h>

namespace korvo::platform {

// Hands an open handle to the QFile, which closes it from then on; on
// failure the handle is closed here and the error is ERROR_OPEN_FAILED.
bool adoptHandle(HANDLE handle, QFile& file, QIODevice::OpenMode mode, qint64* errorCode);

} // namespace korvo::platform
