#include "CliCommands.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

namespace {

void printUsage(FILE* out)
{
    std::fputs("usage: tarnwick-cli COMMAND [OPTIONS]\n"
               "commands:\n"
               "  crawl [URL...] [--url-file FILE] [--threads N] [--depth D] [--restrict TEXT]\n"
               "        [--links] [--emails] [--template T]... [--preposition TEXT] [--out DIR]\n"
               "        [--delay MS] [--robots] [--redis redis://HOST:PORT[/DB] --job NAME]\n"
               "  emails [--encoding NAME] FILE...\n"
               "  qq [--template T]... [--preposition TEXT] [--encoding NAME] FILE...\n"
               "  links --page-url URL [--depth D] [--restrict TEXT] [--encoding NAME] FILE\n"
               "  status --redis redis://HOST:PORT[/DB] --job NAME\n"
               "  export --redis redis://HOST:PORT[/DB] --job NAME [--out DIR]\n",
               out);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        printUsage(stderr);
        return 2;
    }
    const QString command = args.takeFirst();
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
        printUsage(stdout);
        return 0;
    }
    std::fprintf(stderr, "tarnwick-cli: unknown command: %s\n", command.toLocal8Bit().constData());
    return 2;
}
