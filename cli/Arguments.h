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

// An option a command takes: a flag, or an option with a value when `value`
// says what the value is (for "--threads needs a number from 1 to 64").
struct Option
{
    Option(const QString& name, const QString& value = QString()) : name(name), value(value) {}

    QString name; // without its dashes
    QString value;
};

// A command's arguments as read against the options it takes. An option is
// written with one dash or two ("--json", "-json"); a value follows its
// option ("--name VALUE") or is joined to it ("--name=VALUE"). "-h" and
// "--help" ask for help, "--" ends the options, and anything else that does
// not start with a dash ("-" and the empty text included) is an operand.
// Each byte of every argument is kept. Given twice, an option's later value
// counts.
struct CommandLine
{
    bool help = false;     // asked for before any wrong option
    QString problem;       // the first wrong option or missing value, said for a usage message
    QStringList operands;  // in order
    QMap<QString, QString> given; // the options given, by name; a flag's value is empty

    bool isSet(const QString& name) const { return given.contains(name); }
    QString value(const QString& name, const QString& fallback = QString()) const
    {
        return given.value(name, fallback);
    }
};
CommandLine readCommandLine(const QStringList& arguments, const QList<Option>& options);

// The names of a table of choices (a map keyed by name), for usage
// messages: "a, b, c".
template <typename Map>
QString choiceList(const Map& choices)
{
    QStringList names;
    for (const auto& entry : choices)
        names << entry.first;
    return names.join(QStringLiteral(", "));
}

// True when the argument names a folder that is there, with its exact path.
bool isFolderArgument(const QString& argument, NativePath* path);

} // namespace korvo::cli
