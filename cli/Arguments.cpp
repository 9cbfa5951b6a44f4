#include "Arguments.h"

#include "Platform.h"

#include <QCoreApplication>
#include <QFile>

namespace korvo::cli {

namespace {

constexpr ushort CarriedByte = 0xDC00; // U+DC80..U+DCFF stand for the bytes 0x80..0xFF

bool isCarried(QChar c)
{
    return c.unicode() >= CarriedByte + 0x80 && c.unicode() <= CarriedByte + 0xFF;
}

#ifndef Q_OS_WIN
// The length of the well-formed UTF-8 sequence at `at`, or 0.
int utf8Sequence(const QByteArray& bytes, int at)
{
    const uchar lead = uchar(bytes.at(at));
    int length = 0;
    uchar low = 0x80; // the range of the byte after the lead
    uchar high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (int i = 1; i < length; ++i) {
        const uchar next = uchar(bytes.at(at + i));
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF))
            return 0;
    }
    return length;
}

// The argument's bytes as text: the locale's decoding where it gives the
// bytes back exactly, else well-formed UTF-8 sequences (in a UTF-8 locale)
// as text and every other byte carried.
QString argumentText(const QByteArray& bytes)
{
    const QString decoded = QFile::decodeName(bytes);
    if (QFile::encodeName(decoded) == bytes)
        return decoded;
    const bool utf8 = QFile::encodeName(QStringLiteral("\u00e9")) == QByteArray("\xc3\xa9");
    QString text;
    for (int at = 0; at < bytes.size();) {
        const uchar byte = uchar(bytes.at(at));
        const int length = byte < 0x80 ? 1 : (utf8 ? utf8Sequence(bytes, at) : 0);
        if (length == 0) {
            text += QChar(ushort(CarriedByte + byte));
            ++at;
        } else {
            text += QString::fromUtf8(bytes.constData() + at, length);
            at += length;
        }
    }
    return text;
}
#endif

} // namespace

QStringList commandLineArguments(int argc, char* argv[])
{
#ifdef Q_OS_WIN
    Q_UNUSED(argc)
    Q_UNUSED(argv)
    return QCoreApplication::arguments();
#else
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << argumentText(QByteArray(argv[i]));
    return arguments;
#endif
}

QString exactText(const NativePath& path)
{
#ifdef Q_OS_WIN
    return path.toText();
#else
    return argumentText(path.bytes());
#endif
}

NativePath argumentPath(const QString& argument)
{
    NativePath path;
#ifdef Q_OS_WIN
    path = NativePath::fromText(argument);
#else
    QByteArray bytes;
    int runStart = 0;
    for (int i = 0; i <= argument.size(); ++i) {
        if (i < argument.size() && !isCarried(argument.at(i)))
            continue;
        bytes += QFile::encodeName(argument.mid(runStart, i - runStart));
        if (i < argument.size())
            bytes += char(argument.at(i).unicode() - CarriedByte);
        runStart = i + 1;
    }
    path = NativePath::fromBytes(bytes);
#endif
    if (!path.isAbsolute())
        path = platform::currentFolder().child(path);
    return path.cleaned();
}

QString shownArgument(const QString& argument)
{
    QString shown = argument;
    for (QChar& c : shown) {
        if (isCarried(c))
            c = QChar(0xFFFD);
    }
    return shown;
}

bool isText(const QString& argument)
{
    for (const QChar c : argument) {
        if (isCarried(c))
            return false;
    }
    return true;
}

namespace {

// The option an argument names, or null; `name` is the argument without its
// dashes and before any "=".
const Option* findOption(const QList<Option>& options, const QString& name)
{
    for (const Option& option : options) {
        if (option.name == name)
            return &option;
    }
    return nullptr;
}

} // namespace

CommandLine readCommandLine(const QStringList& arguments, const QList<Option>& options)
{
    CommandLine read;
    bool optionsEnded = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (optionsEnded || !argument.startsWith(QLatin1Char('-')) || argument.size() == 1) {
            read.operands << argument;
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        const int dashes = argument.startsWith(QLatin1String("--")) ? 2 : 1;
        const int equals = argument.indexOf(QLatin1Char('='));
        const QString name = argument.mid(dashes, equals < 0 ? -1 : equals - dashes);
        const Option* option = findOption(options, name);
        QString problem;
        if (equals < 0 && (name == QLatin1String("h") || name == QLatin1String("help"))) {
            read.help = read.help || read.problem.isEmpty(); // the first of help and a wrong option counts
        } else if (!option) {
            problem = QStringLiteral("unknown option '%1'").arg(shownArgument(argument));
        } else if (option->value.isEmpty() && equals >= 0) {
            problem = QStringLiteral("--%1 takes no value").arg(name);
        } else if (!option->value.isEmpty() && equals < 0 && i + 1 == arguments.size()) {
            problem = QStringLiteral("--%1 needs %2").arg(name, option->value);
        } else {
            read.given[name] = option->value.isEmpty() ? QString()
                               : equals >= 0          ? argument.mid(equals + 1)
                                                      : arguments.at(++i);
        }
        if (read.problem.isEmpty() && !read.help)
            read.problem = problem;
    }
    return read;
}

bool isFolderArgument(const QString& argument, NativePath* path)
{
    bool isFolder = false;
    *path = argumentPath(argument);
    return !argument.isEmpty() && platform::entryExists(*path, &isFolder) && isFolder;
}

} // namespace korvo::cli
