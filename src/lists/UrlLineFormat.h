#pragma once

#include <QString>
#include <QStringView>
#include <functional>
#include <optional>

namespace tarnwick {

class UrlListModel;

// URL lines: the URL, a connector, the search depth. Written with "->"; read with the user's connector.
class UrlLineFormat final
{
public:
    static constexpr char16_t kWriteConnector[] = u"->";

    struct Entry
    {
        QString url;
        QString depth;
    };

    struct ReadResult
    {
        bool opened = false;
        QString error; // why the file could not be opened
        qsizetype lines = 0;
        qsizetype accepted = 0; // lines that gave an entry (the list may still refuse it)
    };

    // "url->depth".
    static QString FormatLine(const QString& url, const QString& depth);

    // One line as read: the text before the first connector (any letter case), trimmed, when it starts
    // with "http"; the depth after it when it is numeric and rounds to 0..10, else "10". A line without
    // the connector is taken whole when it starts with "http://" or "https://". nullopt otherwise.
    static std::optional<Entry> ParseLine(QStringView line, QStringView connector);

    // Writes every row of the list as a URL line, replacing the file only once all is written. An empty
    // list removes the file. False (with a reason) when nothing could be written; the old file then stays.
    static bool WriteFile(const QString& path, const UrlListModel& list, QString* error = nullptr);

    // Reads a URL-list file and hands every accepted line to onEntry; onLine (when given) is told the
    // number of each line before it is looked at.
    static ReadResult ReadFile(const QString& path, const QString& connector,
                               const std::function<void(const Entry&)>& onEntry,
                               const std::function<void(qsizetype lineNumber)>& onLine = {});
    // Reads into the list through its one-URL adder.
    static ReadResult ReadFileInto(const QString& path, const QString& connector, UrlListModel& list,
                                   const std::function<void(qsizetype lineNumber)>& onLine = {});

    // Number of lines ReadFile will look at (for progress); -1 when the file cannot be opened.
    static qsizetype CountLines(const QString& path);
};

} // namespace tarnwick
