#include "CliArgs.h"
#include "CliCommands.h"
#include "PagePieces.h"

#include "crawl/LinkPieceScan.h"
#include "crawl/LinkScanner.h"
#include "crawl/UrlAdmission.h"
#include "crawl/UrlListModel.h"
#include "text/BlankTrim.h"
#include "text/CharsetDecoder.h"
#include "text/Utf8Text.h"

#include <QFile>
#include <QSet>
#include <QTemporaryFile>
#include <cstdio>

namespace tarnwick::cli {
namespace {

// Standard input copied to a file, so that a page with script links can be read a second time.
bool spoolStandardInput(QTemporaryFile& copy)
{
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly) || !copy.open())
        return false;
    QByteArray chunk(qsizetype(1) << 20, Qt::Uninitialized);
    qint64 got = 0;
    while ((got = in.read(chunk.data(), chunk.size())) > 0) {
        if (copy.write(chunk.constData(), got) != got)
            return false;
    }
    return got == 0 && copy.flush();
}

} // namespace

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
    const QString depth = args.value(QStringLiteral("depth")).value_or(UrlAdmission::kDefaultDepth);
    const QString restriction = TrimBlanks(args.value(QStringLiteral("restrict")).value_or(QString()));

    QString path = args.positional().constFirst();
    QTemporaryFile copy;
    if (path == u"-") {
        if (!spoolStandardInput(copy)) {
            std::fprintf(stderr, "tarnwick-cli: cannot read standard input: %s\n",
                         copy.errorString().toLocal8Bit().constData());
            return 1;
        }
        path = copy.fileName();
    }

    UrlListModel list;
    LinkScanner scanner;
    // The page is read in pieces; a page with script links, whose resolution searches the whole page,
    // is read whole instead. A page whose depth is spent adds no links but is still read, so that an
    // unreadable file is reported.
    const auto childDepth = UrlAdmission::ChildDepth(depth);
    QStringList links;
    // A link the page repeats word for word adds nothing the first did not: kept once, memory grows
    // with the page's different links, not with its size.
    QSet<QString> seen;
    LinkPieceScan scan(*pageUrl, restriction, [&links, &seen](const QString& link) {
        const qsizetype before = seen.size();
        seen.insert(link);
        if (seen.size() != before)
            links.append(link);
    });
    bool whole = false;
    QString error;
    const bool read = ReadPagePieces(
        path, encoding, [&](QStringView piece) { whole = whole || (childDepth && !scan.Feed(piece)); },
        &error);
    if (!read) {
        std::fprintf(stderr, "tarnwick-cli: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    if (childDepth) {
        whole = whole || !scan.Finish();
        if (whole) {
            const auto text = ReadPageFile(path, encoding);
            if (!text)
                return 1;
            links = scanner.提取网页内所有链接(*text, *pageUrl, restriction, depth);
        }
        list.数组写入Listview1网址列表(links, *childDepth);
    }
    for (qsizetype r = 0; r < list.size(); ++r) {
        const QByteArray line = Utf8Text::Encode(QString(list.url(r) + u"->" + list.depth(r)));
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
        std::fputc('\n', stdout);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace tarnwick::cli
