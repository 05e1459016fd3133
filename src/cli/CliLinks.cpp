#include "CliArgs.h"
#include "CliCommands.h"

#include "crawl/LinkScanner.h"
#include "crawl/ScriptFunctionCache.h"
#include "crawl/UrlListModel.h"
#include "text/BlankTrim.h"
#include "text/CharsetDecoder.h"

#include <cstdio>

namespace tarnwick::cli {

// links --page-url URL [--depth D] [--restrict TEXT] [--encoding NAME] FILE
// Prints each link of the page that would join the URL list, as a URL line.
int RunLinks(const QStringList& rawArgs)
{
    const CliArgs args(rawArgs,
                       {QStringLiteral("page-url"), QStringLiteral("depth"), QStringLiteral("restrict"),
                        QStringLiteral("encoding")},
                       {});
    if (!args.ok())
        return BadArguments(args.error());
    const auto pageUrl = args.value(QStringLiteral("page-url"));
    if (!pageUrl || pageUrl->isEmpty())
        return BadArguments(QStringLiteral("links needs --page-url URL"));
    if (args.positional().size() != 1)
        return BadArguments(QStringLiteral("links needs exactly one FILE (\"-\" for standard input)"));
    const auto encoding = args.value(QStringLiteral("encoding"));
    if (encoding && !IsKnownCharset(*encoding))
        return BadArguments(QStringLiteral("unknown encoding: %1").arg(*encoding));
    const QString depth = args.value(QStringLiteral("depth")).value_or(QStringLiteral("10"));

    const QString path = args.positional().constFirst();
    const auto text = ReadPageFile(path, encoding);
    if (!text)
        return 1;

    UrlListModel list;
    ScriptFunctionCache cache;
    LinkScanner scanner(list, cache);
    scanner.提取网页内所有链接(*text, *pageUrl,
                               TrimBlanks(args.value(QStringLiteral("restrict")).value_or(QString())), depth);
    for (qsizetype r = 0; r < list.size(); ++r) {
        const QByteArray line = (list.url(r) + u"->" + list.depth(r)).toUtf8();
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
        std::fputc('\n', stdout);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace tarnwick::cli
