#pragma once

#include <QStringList>

namespace korvo::cli {

// Exit codes shared by every command.
enum ExitCode { Success = 0, Failure = 1, UsageError = 2 };

using CommandFunction = int (*)(const QStringList& arguments);

// Each command file registers itself with one static instance of this.
struct CommandRegistration
{
    CommandRegistration(const char* name, const char* summary, CommandFunction function);
};

} // namespace korvo::cli
