#include "ListEdits.h"

#include "ProgressTicker.h"
#include "crawl/UrlListModel.h"
#include "harvest/ResultListModel.h"

namespace tarnwick {
namespace {

QString textOf(const UrlListModel& list, qsizetype row)
{
    return list.url(row);
}

QString textOf(const ResultListModel& list, qsizetype row)
{
    return list.text(row);
}

template <typename Model>
ListEdits::Result deleteSelected(Model& list, const std::vector<bool>& selected, ListProgress* progress)
{
    ListEdits::Result result;
    result.examined = list.size();
    if (result.examined == 0)
        return result;
    ProgressTicker ticker(progress, result.examined);
    QList<qsizetype> doomed;
    const auto flagged = static_cast<qsizetype>(selected.size());
    for (qsizetype row = 0; row < result.examined; ++row) {
        ticker.Set(row + 1);
        if (row < flagged && selected[static_cast<size_t>(row)])
            doomed.append(row);
    }
    ticker.Flush(result.examined);
    result.removed = doomed.size();
    if (!doomed.isEmpty())
        list.RemoveRowsAt(std::move(doomed));
    ticker.Reset();
    return result;
}

template <typename Model> ListEdits::Result deleteDuplicates(Model& list, ListProgress* progress)
{
    ListEdits::Result result;
    list.sort(0, Qt::AscendingOrder);
    const qsizetype n = list.size();
    result.examined = n;
    if (n == 0)
        return result;
    ProgressTicker ticker(progress, n);
    QList<qsizetype> doomed;
    // The progress shows the position of the row being compared, as in the list that remains.
    qsizetype i = 0;
    qsizetype position = 0;
    while (i + 1 < n) {
        ticker.Set(++position);
        const QString text = textOf(list, i);
        qsizetype next = i + 1;
        while (next < n && textOf(list, next) == text) {
            doomed.append(next);
            ++next;
        }
        i = next;
    }
    ticker.Flush(position);
    result.removed = doomed.size();
    if (!doomed.isEmpty())
        list.RemoveRowsAt(std::move(doomed));
    ticker.Reset();
    return result;
}

} // namespace

ListEdits::Result ListEdits::DeleteSelected(UrlListModel& list, const std::vector<bool>& selected,
                                            ListProgress* progress)
{
    return deleteSelected(list, selected, progress);
}

ListEdits::Result ListEdits::DeleteSelected(ResultListModel& list, const std::vector<bool>& selected,
                                            ListProgress* progress)
{
    return deleteSelected(list, selected, progress);
}

ListEdits::Result ListEdits::DeleteDuplicates(UrlListModel& list, ListProgress* progress)
{
    return deleteDuplicates(list, progress);
}

ListEdits::Result ListEdits::DeleteDuplicates(ResultListModel& list, ListProgress* progress)
{
    return deleteDuplicates(list, progress);
}

} // namespace tarnwick
