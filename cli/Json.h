#pragma once

#include <QString>

namespace korvo::cli {

// A text as a JSON string literal, quotes included.
QString jsonString(const QString& text);

} // namespace korvo::cli
