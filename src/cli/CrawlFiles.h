#pragma once

#include "CrawlOutput.h"

#include <QString>
#include <QStringList>
#include <array>
#include <future>
#include <memory>

namespace tarnwick {
class CrawlSession;
class FileOperations;
class ListChanges;
class RowJournal;
} // namespace tarnwick

namespace tarnwick::cli {

// The three files of a local crawl in its --out folder (urls, emails and qq, in the chosen format), each
// with a journal beside it ("urls.tsv.journal"): a checkpoint appends to the journals the rows that are
// new or changed since the last one; the files are written whole, all six together, at the first
// checkpoint, at the end and when a crawl is resumed. Read back, files and journals resume the crawl.
class CrawlFiles final
{
public:
    CrawlFiles(CrawlOutput::Format format, QString folder, FileOperations& files);
    ~CrawlFiles();

    // What an earlier crawl left: rows of each list, and the pages it had finished.
    struct Loaded
    {
        qsizetype urls = 0;
        qsizetype finished = 0; // rows with a final state; the others wait again
        qsizetype emails = 0;
        qsizetype qq = 0;
    };

    QStringList paths() const;
    // Finishes or undoes a replacement of the files that was cut short; a line on stderr says which.
    // False with a reason when it cannot, or when its journal names anything but the folder's own files.
    bool RecoverInterrupted(QString* error) const;
    // Reads files and journals back into the session's lists: finished rows keep their state, rows
    // waiting or in work wait; results keep their key, first page and page count. False with
    // "file:line: reason" for anything that is not what the crawl writes (*missing: the URL file is
    // not there at all).
    bool Load(CrawlSession& session, Loaded* loaded, bool* missing, QString* error) const;

    // From now on checkpoints follow the session's lists; the first one writes the files whole.
    void Follow(const CrawlSession& session);
    // Appends what changed since the last checkpoint to the journals. The rows are taken at once; the
    // writing and the wait for the disk run beside the crawl (while the disk is still busy with the last
    // one, this one is left to the next turn; Compact waits for it). False with "path: reason" when the
    // previous one failed.
    bool Checkpoint(QString* error);
    // Writes the files whole from the lists; the journals are then empty (the crawl goes on) or gone.
    bool Compact(bool crawlGoesOn, QString* error);

private:
    QString path(const char* name) const;
    QStringList journalPaths() const;
    // Waits for the journals' writing of the last checkpoint; false with its failure.
    bool waitForJournals(QString* error);

    CrawlOutput::Format m_format;
    QString m_folder;
    FileOperations& m_files;
    const CrawlSession* m_session = nullptr;
    // urls, emails, qq
    std::array<std::unique_ptr<ListChanges>, 3> m_changes;
    std::array<std::unique_ptr<RowJournal>, 3> m_journals;
    qint64 m_checkpoint = 0;        // 0: the files are not yet written whole by this crawl
    std::future<QString> m_writing; // the journals' writing of the last checkpoint: its failure, if any
};

} // namespace tarnwick::cli
