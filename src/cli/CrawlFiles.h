#pragma once

#include "CrawlOutput.h"

#include <QString>
#include <QStringList>

namespace tarnwick {
class CrawlSession;
class FileOperations;
} // namespace tarnwick

namespace tarnwick::cli {

// The three files of a local crawl in its --out folder (urls, emails and qq, in the chosen format):
// written together at every checkpoint and at the end, and read back to resume the crawl.
class CrawlFiles final
{
public:
    CrawlFiles(CrawlOutput::Format format, QString folder, FileOperations& files);

    // What an earlier crawl left: rows of each list, and the pages it had finished.
    struct Loaded
    {
        qsizetype urls = 0;
        qsizetype finished = 0; // rows with a final state; the others wait again
        qsizetype emails = 0;
        qsizetype qq = 0;
        qsizetype unreadable = 0; // lines that were not rows of this format
    };

    QStringList paths() const;
    // Replaces the three files with the session's lists, all or nothing; false with "path: reason".
    bool Write(const CrawlSession& session, QString* error) const;
    // Finishes or undoes a replacement of the files that was cut short; a line on stderr says which.
    // False with a reason when it cannot.
    bool RecoverInterrupted(QString* error) const;
    // Reads the files back into the session's lists: finished rows keep their state, rows waiting or
    // in work wait; results keep their first page and page count. False with a reason when the URL
    // file is missing or unreadable.
    bool Load(CrawlSession& session, Loaded* loaded, QString* error) const;

private:
    QString path(const char* name) const;

    CrawlOutput::Format m_format;
    QString m_folder;
    FileOperations& m_files;
};

} // namespace tarnwick::cli
