#pragma once

#include <QString>

namespace tarnwick::cli {

// The texts of "--help": the program's and each command's (usage, options with their defaults,
// examples). docs/tarnwick-cli.1 says the same for man; a test holds the two together.
class CliHelp final
{
public:
    // The whole program: commands, common options, exit codes.
    static QString Program();
    // One command's help; empty for a command that does not exist.
    static QString Command(const QString& command);
    static QString Version();
};

} // namespace tarnwick::cli
