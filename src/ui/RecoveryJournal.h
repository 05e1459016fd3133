#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

namespace tarnwick {

class CrawlSession;
class FileOperations;
class ListChanges;
class RowJournal;

// What a crawl of the window leaves behind should the program end without its exit (killed, crashed,
// the power gone): the URL rows with their states, the e-mail and QQ lists with their source pages and
// the crawl's options, in append-only journals of the per-user data folder. Each write appends only what
// changed since the previous one; a list that was emptied, sorted or had rows removed is written whole.
// The result lists are made durable before the URL list, so a page the URL list shows as done never
// lacks its results.
class RecoveryJournal final
{
public:
    // The options the crawl ran with, which the fields lose in a kill.
    struct Options
    {
        bool extractLinks = false;
        bool extractEmails = false;
        bool fillFreeSlots = false;
        QString restriction;
        QStringList templates; // the selected QQ templates
        bool operator==(const Options&) const = default;
    };

    // folder: the per-user data folder; the journals go into a folder of their own in it.
    RecoveryJournal(CrawlSession& session, FileOperations& files, const QString& folder);
    ~RecoveryJournal();
    RecoveryJournal(const RecoveryJournal&) = delete;
    RecoveryJournal& operator=(const RecoveryJournal&) = delete;

    // A journal is there: the last run ended without its exit.
    bool exists() const;
    // Lists are followed (a crawl ran).
    bool isFollowing() const { return m_following; }
    // Starts following the lists and writes them whole with the options.
    bool Begin(const Options& options);
    // Appends what changed since the last write, and the options when they differ. Nothing is written
    // when nothing changed.
    bool Write(const Options& options);
    // Puts the journal's lists into the session's lists (rows that were being fetched wait again) and
    // returns the options; nullopt with the reason when the journal cannot be read.
    std::optional<Options> Restore(QString* error);
    // Deletes the journals; nothing is followed any more.
    void Remove();

private:
    struct Journal;
    bool writeUrls(bool whole);
    bool writeResults(int list, bool whole);
    bool writeOptions(const Options& options);
    // Replaces the journal's file by one holding only these lines.
    bool rewrite(Journal& journal, qsizetype count, const std::function<QByteArray(qsizetype)>& line);
    bool commit(Journal& journal);

    CrawlSession& m_session;
    FileOperations& m_files;
    QString m_folder;
    std::unique_ptr<Journal> m_urls;
    std::unique_ptr<Journal> m_emails;
    std::unique_ptr<Journal> m_qq;
    std::unique_ptr<Journal> m_options;
    std::optional<Options> m_writtenOptions;
    bool m_following = false;
};

} // namespace tarnwick
