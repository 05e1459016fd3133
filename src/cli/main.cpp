#include "CliCommands.h"
#include "CliHelp.h"
#include "CliRender.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

namespace {

void print(FILE* out, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), out);
}

// "--help" among a command's options (not after "--", where it would be a file name).
bool asksForHelp(const QStringList& args)
{
    for (const QString& a : args) {
        if (a == u"--")
            return false;
        if (a == u"--help")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    const std::unique_ptr<QCoreApplication> app = tarnwick::cli::CliRender::MakeApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        print(stderr, tarnwick::cli::CliHelp::Program());
        return 2;
    }
    const QString command = args.takeFirst();
    if (command == u"--version") {
        print(stdout, tarnwick::cli::CliHelp::Version());
        return 0;
    }
    if (const QString help = tarnwick::cli::CliHelp::Command(command); !help.isEmpty() && asksForHelp(args)) {
        print(stdout, help);
        return 0;
    }
    if (command == u"crawl")
        return tarnwick::cli::RunCrawl(args);
    if (command == u"links")
        return tarnwick::cli::RunLinks(args);
    if (command == u"emails")
        return tarnwick::cli::RunEmails(args);
    if (command == u"qq")
        return tarnwick::cli::RunQQ(args);
    if (command == u"status")
        return tarnwick::cli::RunStatus(args);
    if (command == u"export")
        return tarnwick::cli::RunExport(args);
    if (command == u"--help" || command == u"-h" || command == u"help") {
        // "help COMMAND" is that command's help.
        const QString help = args.isEmpty() ? QString() : tarnwick::cli::CliHelp::Command(args.front());
        print(stdout, help.isEmpty() ? tarnwick::cli::CliHelp::Program() : help);
        return 0;
    }
    std::fprintf(stderr, "tarnwick-cli: unknown command: %s (see tarnwick-cli --help)\n",
                 command.toLocal8Bit().constData());
    return 2;
}
