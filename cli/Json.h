#pragma once

#include <QString>

namespace korvo::cli {

// A text as a JSON string literal, quotes included; a surrogate outside a
// pair is written as its \u escape.
QString jsonString(const QString& text);

} // namespace korvo::cli
