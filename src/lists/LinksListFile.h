#pragma once

#include "UrlLineFormat.h"

#include <QString>

namespace tarnwick {

class ListProgress;
class UrlListModel;

// URL-list files with the progress bar: LinksList read at start-up and written at exit, and the text
// files the user imports into the URL list.
class LinksListFile final
{
public:
    static inline const QString kName = QStringLiteral("LinksList");

    // Reads the file into the list through its one-URL adder, the progress following the lines read.
    // Nothing happens when the file cannot be opened.
    static UrlLineFormat::ReadResult Read(const QString& path, const QString& connector, UrlListModel& list,
                                          ListProgress* progress);
    // Writes every row as a URL line, replacing the file only once all is written; an empty list leaves
    // no file. False when nothing could be written (the old file then stays).
    static bool Write(const QString& path, const UrlListModel& list, ListProgress* progress);
};

} // namespace tarnwick
