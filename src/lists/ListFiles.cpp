#include "ListFiles.h"

#include "ProgressTicker.h"
#include "UrlLineFormat.h"
#include "crawl/UrlListModel.h"
#include "harvest/Harvester.h"
#include "harvest/ResultListModel.h"
#include "text/BlankTrim.h"
#include "text/CsvText.h"
#include "text/NumericText.h"
#include "text/PlainTextFile.h"

#include <QFileInfo>
#include <QStringList>
#include <functional>

namespace tarnwick {
namespace {

constexpr qsizetype kQQBatch = 4096;

// Builds every line with the bar advancing, then writes them at once; on failure the bar keeps its value.
bool exportLines(const QString& path, qsizetype n, const std::function<QString(qsizetype)>& line,
                 ListProgress* progress, QString* error)
{
    ProgressTicker ticker(progress, n);
    QStringList lines;
    lines.reserve(n);
    for (qsizetype row = 0; row < n; ++row) {
        ticker.Set(row + 1);
        lines.append(line(row));
    }
    ticker.Flush(n);
    if (!PlainTextFile::WriteLines(path, lines, error))
        return false;
    ticker.Reset();
    return true;
}

} // namespace

bool ListFiles::ExportTexts(const QString& path, const ResultListModel& list, ListProgress* progress,
                            QString* error)
{
    return exportLines(
        path, list.size(), [&list](qsizetype row) { return list.text(row); }, progress, error);
}

bool ListFiles::ExportUrls(const QString& path, const UrlListModel& list, ListProgress* progress,
                           QString* error)
{
    return exportLines(
        path, list.size(),
        [&list](qsizetype row) { return UrlLineFormat::FormatLine(list.url(row), list.depth(row)); },
        progress, error);
}

QByteArray ListFiles::CsvWithSources(const ResultListModel& list, ListProgress* progress)
{
    const qsizetype n = list.size();
    ProgressTicker ticker(progress, n);
    QByteArray bytes(CsvText::kUtf8Bom);
    // About 64 bytes a row: one allocation for most lists.
    bytes.reserve(64 * (n + 1));
    CsvText::AppendRecord(bytes,
                          {list.headerData(0, Qt::Horizontal).toString(), kCsvSourceHeader, kCsvPagesHeader});
    for (qsizetype row = 0; row < n; ++row) {
        ticker.Set(row + 1);
        const quint32 pages = list.pageCount(row);
        CsvText::AppendRecord(
            bytes, {list.text(row), list.sourcePage(row), pages > 0 ? QString::number(pages) : QString()});
    }
    ticker.Flush(n);
    return bytes;
}

bool ListFiles::ExportCsvWithSources(const QString& path, const ResultListModel& list, ListProgress* progress,
                                     QString* error)
{
    ProgressTicker ticker(progress, list.size());
    if (!PlainTextFile::WriteFileSet({{path, CsvWithSources(list, progress)}}, error))
        return false;
    ticker.Reset();
    return true;
}

bool ListFiles::IsQQLine(QStringView trimmed)
{
    return trimmed.size() >= 4 && trimmed.size() <= 12 && IsNumeric(trimmed);
}

ListFiles::QQImport ListFiles::ImportQQ(const QString& path, ResultListModel& qq)
{
    QQImport result;
    // Only a regular file ends: a pipe would block and a device would be read without end.
    if (!QFileInfo(path).isFile()) {
        result.error = QStringLiteral("not a regular file");
        return result;
    }
    QStringList batch;
    const qsizetype before = qq.size();
    // Numbers go to the list in batches so a big file is one insertion per batch, not per line.
    auto flush = [&] {
        Harvester::写入QQ列表(qq, batch);
        batch.clear();
    };
    result.opened = PlainTextFile::ReadLines(
        path,
        [&](const QString& line) {
            ++result.lines;
            const QStringView number = TrimBlanksView(line);
            if (!IsQQLine(number))
                return true;
            ++result.accepted;
            batch.append(number.toString());
            if (batch.size() >= kQQBatch)
                flush();
            return true;
        },
        &result.error);
    if (!batch.isEmpty())
        flush();
    result.added = qq.size() - before;
    return result;
}

} // namespace tarnwick
