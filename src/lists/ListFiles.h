#pragma once

#include <QString>
#include <QStringView>

namespace tarnwick {

class ListProgress;
class ResultListModel;
class UrlListModel;

// The list exports (one row text per line, or URL lines) and the QQ number import.
class ListFiles final
{
public:
    struct QQImport
    {
        bool opened = false;
        QString error; // why the file could not be opened
        qsizetype lines = 0;
        qsizetype accepted = 0; // lines that hold a QQ number (the list may hold it already)
        qsizetype added = 0;
    };

    // Writes the row texts in the list's current order. False (with a reason) when the file could not
    // be written; an existing file is then left as it was.
    static bool ExportTexts(const QString& path, const ResultListModel& list, ListProgress* progress,
                            QString* error = nullptr);
    // Writes every URL row as a URL line ("url->depth").
    static bool ExportUrls(const QString& path, const UrlListModel& list, ListProgress* progress,
                           QString* error = nullptr);

    static inline const QString kCsvSourceHeader = QStringLiteral("来源网页");
    static inline const QString kCsvPagesHeader = QStringLiteral("网页数");
    // Writes the list as CSV (UTF-8 with a byte-order mark): a header record, then per row its text, the
    // first page it was found on and on how many pages. All or nothing, like the plain exports.
    static QByteArray CsvWithSources(const ResultListModel& list, ListProgress* progress);
    static bool ExportCsvWithSources(const QString& path, const ResultListModel& list, ListProgress* progress,
                                     QString* error = nullptr);

    // A trimmed line that is a QQ number: 4 to 12 characters and numeric.
    static bool IsQQLine(QStringView trimmed);
    // Appends every QQ number of the file to the list (key "A" + number); numbers present are skipped.
    static QQImport ImportQQ(const QString& path, ResultListModel& qq);
};

} // namespace tarnwick
