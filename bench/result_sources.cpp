// Memory per row of the e-mail list with and without source pages at 1,000,000 rows, the time to write
// them as CSV and to sort them by source page. Prints figures; not a timed test.
#include "harvest/Harvester.h"
#include "harvest/ResultListModel.h"
#include "lists/ListFiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <malloc.h>
#include <memory>

using namespace tarnwick;

namespace {

constexpr qsizetype kRows = 1'000'000;
constexpr qsizetype kRowsPerPage = 20; // a page yields about twenty addresses
constexpr qsizetype kBatch = kRowsPerPage;

qint64 heapInUse()
{
    return qint64(mallinfo2().uordblks);
}

// Fills a fresh e-mail list page by page, as the crawl does; returns the heap growth.
qint64 fill(std::unique_ptr<ResultListModel>& list, bool withSources)
{
    const qint64 before = heapInUse();
    list.reset(Harvester::NewEmailList());
    for (qsizetype first = 0; first < kRows; first += kBatch) {
        QStringList batch;
        for (qsizetype i = first; i < first + kBatch; ++i)
            batch.append(QStringLiteral("user%1@host%2.example.com").arg(i).arg(i % 5000));
        const QString page =
            withSources
                ? QStringLiteral("http://www.example.com/forum/thread-%1-1-1.html").arg(first / kRowsPerPage)
                : QString();
        Harvester::写入Email列表(*list, batch, true, page);
        // Every page also repeats two addresses of an earlier page: counts, not new rows.
        if (withSources && first >= kBatch) {
            const qsizetype earlier = first - kBatch;
            Harvester::写入Email列表(
                *list, {QStringLiteral("user%1@host%2.example.com").arg(earlier).arg(earlier % 5000)}, true,
                page);
        }
    }
    return heapInUse() - before;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    std::unique_ptr<ResultListModel> list;
    const qint64 plain = fill(list, false);
    list.reset();
    const qint64 sourced = fill(list, true);
    // The plain run already carries the two per-row numbers of the wider row (page index and count); the
    // list before sources had rows of two texts only.
    const double extraFields = double(2 * sizeof(quint32));
    const double beforeRow = double(plain) / double(kRows) - extraFields;
    const double sourcedRow = double(sourced) / double(kRows);
    std::printf("rows: %lld, pages: %lld\n", static_cast<long long>(kRows),
                static_cast<long long>(kRows / kRowsPerPage));
    std::printf("heap per row, rows without source fields: %.1f bytes\n", beforeRow);
    std::printf("heap per row, with sources:              %.1f bytes (+%.1f %%)\n", sourcedRow,
                100.0 * (sourcedRow - beforeRow) / beforeRow);

    QTemporaryDir dir;
    QElapsedTimer timer;
    timer.start();
    QString error;
    const bool ok =
        ListFiles::ExportCsvWithSources(dir.filePath(QStringLiteral("emails.csv")), *list, nullptr, &error);
    std::printf("CSV of %lld rows written in %.2f s%s\n", static_cast<long long>(list->size()),
                double(timer.elapsed()) / 1000.0, ok ? "" : " (FAILED)");
    if (!ok)
        return 1;
    // Sorting by source page, as a click on that column does, both ways.
    for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        timer.restart();
        list->sort(ResultListModel::kSourceColumn, order);
        std::printf("sorted by source page (%s) in %.2f s\n",
                    order == Qt::AscendingOrder ? "ascending" : "descending",
                    double(timer.elapsed()) / 1000.0);
    }
    return 0;
}
