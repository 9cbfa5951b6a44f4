#pragma once

#include "NativePath.h"

#include <QMap>
#include <QStringList>

namespace korvo::cli {

// The command line as texts that keep every byte. A Linux argument is bytes
// that need not be valid in the locale's encoding, and Qt's own decoding
// turns such bytes into U+FFFD for good; here each of them is carried as
// one of the code points U+DC80 to U+DCFF instead (which no decoded text
// holds), so that the exact path can be had back. Windows arguments are
// UTF-16 already and are taken as Qt gives them.
QStringList commandLineArguments(int argc, char* argv[]);

// The exact absolute path an argument names (relative to the current
// folder), cleaned of "." and ".." levels.
NativePath argumentPath(const QString& argument);

// The path as a text that keeps every byte, the way arguments are carried:
// what argumentPath turns back into the same path. Windows paths are their
// text as they stand.
QString exactText(const NativePath& path);

// An argument as shown in messages: U+FFFD for each byte that is not text.
QString shownArgument(const QString& argument);

// True when the argument is text through and through (no carried bytes).
bool isText(const QString& argument);

// The arguments of a command that takes --json, --help (-h), paths, and
// the extra `flags` and `valued` options (a value as "--name VALUE" or
// "--name=VALUE") it names; "--" ends the options. `unknown` holds the
// first other option, if any, unless help was asked for before it.
struct PathArguments
{
    bool json = false;
    bool help = false;
    QString unknown;
    QStringList paths;
    QStringList flags;             // the extra flags given
    QMap<QString, QString> values; // the valued options given, by name
    QString missingValue;          // a valued option given last, without its value
};
PathArguments readPathArguments(const QStringList& arguments, const QStringList& flags = {},
                                const QStringList& valued = {});

} // namespace korvo::cli
