#pragma once

#include <QString>
#include <QTextStream>

namespace korvo::cli {

// stdout and stderr in UTF-8 whatever the locale: names and texts are
// Japanese as often as not.
QTextStream& out();
QTextStream& err();

// Says what is wrong with a command's arguments on stderr and gives the
// exit code for wrong usage.
int usageError(const QString& command, const QString& message);

} // namespace korvo::cli
