// korvo-cli: the scanning, export and packaging engine of korvo, without the
// window, for scripts and for measuring.

#include "Arguments.h"
#include "Command.h"
#include "Console.h"

#include "EnumerateWorker.h"

#include <QCoreApplication>

#include <map>

namespace korvo::cli {

namespace {

struct Entry
{
    const char* summary;
    CommandFunction function;
};

std::map<QString, Entry>& commands()
{
    static std::map<QString, Entry> table;
    return table;
}

void printUsage(ConsoleStream& out)
{
    out << "Usage: korvo-cli COMMAND [OPTIONS] ...\n\nCommands:\n";
    for (const auto& [name, entry] : commands())
        out << "  " << name.leftJustified(8) << entry.summary << '\n';
    out << "\n'korvo-cli COMMAND --help' describes a command;\n"
           "'korvo-cli --version' (or -V) prints the version.\n";
}

} // namespace

CommandRegistration::CommandRegistration(const char* name, const char* summary, CommandFunction function)
{
    commands()[QString::fromLatin1(name)] = Entry{summary, function};
}

} // namespace korvo::cli

int main(int argc, char* argv[])
{
    using namespace korvo::cli;
    QCoreApplication application(argc, argv);
    korvo::registerMetaTypes();
    QStringList arguments = commandLineArguments(argc, argv);
    arguments.removeFirst();

    if (arguments.isEmpty()) {
        printUsage(err());
        return UsageError;
    }
    const QString name = arguments.takeFirst();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") || name == QLatin1String("help")) {
        printUsage(out());
        return Success;
    }
    if (name == QLatin1String("--version") || name == QLatin1String("-V")) {
        out() << "korvo-cli " << KORVO_VERSION << '\n';
        return Success;
    }
    const auto found = commands().find(name);
    if (found == commands().end()) {
        err() << "korvo-cli: unknown command '" << shownArgument(name) << "'\n\n";
        printUsage(err());
        return UsageError;
    }
    return found->second.function(arguments);
}
