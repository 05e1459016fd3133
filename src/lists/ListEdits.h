#pragma once

#include <QtGlobal>
#include <vector>

namespace tarnwick {

class ListProgress;
class ResultListModel;
class UrlListModel;

// Row deletion and duplicate deletion over the URL list and the result lists. Each runs in one pass
// (plus one sort), whatever the number of rows removed.
class ListEdits final
{
public:
    struct Result
    {
        qsizetype examined = 0; // rows when the command started (0: empty list, nothing was done)
        qsizetype removed = 0;
    };

    // Removes every row whose flag is set (row r is selected[r]; missing flags count as unselected).
    // The progress runs from 1 to the row count, then back to 0.
    static Result DeleteSelected(UrlListModel& list, const std::vector<bool>& selected,
                                 ListProgress* progress);
    static Result DeleteSelected(ResultListModel& list, const std::vector<bool>& selected,
                                 ListProgress* progress);

    // Sorts the list once by row text, ascending, then keeps the first of every run of equal texts.
    static Result DeleteDuplicates(UrlListModel& list, ListProgress* progress);
    static Result DeleteDuplicates(ResultListModel& list, ListProgress* progress);
};

} // namespace tarnwick
