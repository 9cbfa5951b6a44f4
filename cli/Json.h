#pragma once

#include <QStringList>

namespace korvo::cli {

// A text as a JSON string literal, quotes included; a surrogate outside a
// pair is written as its \u escape.
QString jsonString(const QString& text);

// "true" or "false".
QString jsonBool(bool value);

// The texts, JSON already, as a JSON array: "[a, b]".
QString jsonArray(const QStringList& items);

} // namespace korvo::cli
