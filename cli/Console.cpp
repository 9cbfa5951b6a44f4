#include "Console.h"

#include "Command.h"

#include <cstdio>

namespace korvo::cli {

namespace {

// Flushed when the program ends, like any static stream.
struct Utf8Stream : QTextStream
{
    explicit Utf8Stream(FILE* file) : QTextStream(file) { setCodec("UTF-8"); }
};

} // namespace

QTextStream& out()
{
    static Utf8Stream stream(stdout);
    return stream;
}

QTextStream& err()
{
    static Utf8Stream stream(stderr);
    return stream;
}

int usageError(const QString& command, const QString& message)
{
    err() << "korvo-cli " << command << ": " << message << "\n"
          << "Try 'korvo-cli " << command << " --help'.\n";
    err().flush();
    return UsageError;
}

} // namespace korvo::cli
