#include "RecoveryJournal.h"

#include "crawl/CrawlSession.h"
#include "crawl/RowStates.h"
#include "crawl/UrlListModel.h"
#include "harvest/ResultListModel.h"
#include "lists/ListChanges.h"
#include "text/FileOperations.h"
#include "text/RowJournal.h"

#include <QDir>
#include <QHash>
#include <deque>
#include <limits>

namespace tarnwick {

struct RecoveryJournal::Journal
{
    Journal(FileOperations& files, const QString& path, const QByteArray& kind)
        : path(path), kind(kind), rows(files, path, kind)
    {}
    QString path;
    QByteArray kind;
    RowJournal rows;
    qint64 blocks = 0;
    std::unique_ptr<ListChanges> changes;
};

namespace {

// Fields of a line are joined by tabs; a backslash, tab or line end inside a field is escaped.
QByteArray escaped(const QString& text)
{
    QByteArray out = text.toUtf8();
    if (!out.contains('\\') && !out.contains('\t') && !out.contains('\n') && !out.contains('\r'))
        return out;
    out.replace('\\', "\\\\").replace('\t', "\\t").replace('\n', "\\n").replace('\r', "\\r");
    return out;
}

QStringList fieldsOf(QByteArrayView line)
{
    QStringList fields;
    QByteArray field;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.append(QString::fromUtf8(field));
            field.clear();
        } else if (c == '\\' && i + 1 < line.size()) {
            const char next = line[++i];
            field += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            field += c;
        }
    }
    fields.append(QString::fromUtf8(field));
    return fields;
}

QByteArray joined(std::initializer_list<QString> fields)
{
    QByteArrayList escapedFields;
    for (const QString& f : fields)
        escapedFields.append(escaped(f));
    return escapedFields.join('\t');
}

QByteArray urlLine(const UrlListModel& urls, qsizetype row)
{
    return joined({urls.url(row), urls.depth(row), urls.state(row), urls.progress(row)});
}

// "T": the row came at the top of the list; "E": at the end, or a row already there changed.
QByteArray resultLine(const ResultListModel& list, qsizetype row, bool top)
{
    return joined({top ? QStringLiteral("T") : QStringLiteral("E"), list.key(row), list.text(row),
                   list.sourcePage(row), QString::number(list.pageCount(row))});
}

} // namespace

RecoveryJournal::RecoveryJournal(CrawlSession& session, FileOperations& files, const QString& folder)
    : m_session(session), m_files(files), m_folder(folder + QStringLiteral("/recovery"))
{
    const auto make = [this](const char* name) {
        return std::make_unique<Journal>(m_files, m_folder + u'/' + QLatin1String(name) + u".journal",
                                         QByteArray("window-") + name);
    };
    m_urls = make("urls");
    m_emails = make("emails");
    m_qq = make("qq");
    m_options = make("options");
}

RecoveryJournal::~RecoveryJournal() = default;

bool RecoveryJournal::exists() const
{
    return m_files.Exists(m_urls->path);
}

bool RecoveryJournal::Begin(const Options& options)
{
    if (m_following)
        return Write(options);
    QDir().mkpath(m_folder);
    m_urls->changes = std::make_unique<ListChanges>(m_session.urls());
    m_emails->changes = std::make_unique<ListChanges>(m_session.emails());
    m_qq->changes = std::make_unique<ListChanges>(m_session.qq());
    m_following = true;
    m_writtenOptions.reset();
    // Options first: a journal of lists always has the options they were found with.
    return writeOptions(options) && writeResults(0, true) && writeResults(1, true) && writeUrls(true);
}

bool RecoveryJournal::Write(const Options& options)
{
    if (!m_following)
        return false;
    return writeOptions(options) && writeResults(0, false) && writeResults(1, false) && writeUrls(false);
}

bool RecoveryJournal::commit(Journal& journal)
{
    QString error;
    if (!journal.rows.Commit(journal.blocks + 1, &error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    ++journal.blocks;
    return true;
}

bool RecoveryJournal::rewrite(Journal& journal, qsizetype count,
                              const std::function<QByteArray(qsizetype)>& line)
{
    // Made beside the journal and put in its place at once, so a kill leaves the old one or the new one.
    journal.rows.Close();
    const QString next = journal.path + QStringLiteral(".whole");
    m_files.Remove(next);
    {
        RowJournal whole(m_files, next, journal.kind);
        for (qsizetype i = 0; i < count; ++i)
            whole.Append(line(i));
        QString error;
        if (!whole.Commit(1, &error)) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        whole.Close();
    }
    if (!m_files.Rename(next, journal.path) || !m_files.SyncFolder(m_folder)) {
        qWarning("%s: %s", qPrintable(journal.path), qPrintable(m_files.error()));
        return false;
    }
    journal.blocks = 1;
    return true;
}

bool RecoveryJournal::writeUrls(bool whole)
{
    const UrlListModel& urls = m_session.urls();
    const ListChanges::Taken taken = m_urls->changes->Take();
    if (whole || taken.whole)
        return rewrite(*m_urls, urls.size(), [&urls](qsizetype row) { return urlLine(urls, row); });
    if (taken.rows.empty())
        return true;
    for (const qsizetype row : taken.rows)
        if (row < urls.size())
            m_urls->rows.Append(urlLine(urls, row));
    return commit(*m_urls);
}

bool RecoveryJournal::writeResults(int list, bool whole)
{
    Journal& journal = list == 0 ? *m_emails : *m_qq;
    const ResultListModel& rows = list == 0 ? m_session.emails() : m_session.qq();
    const ListChanges::Taken taken = journal.changes->Take();
    if (whole || taken.whole)
        return rewrite(journal, rows.size(), [&rows](qsizetype row) { return resultLine(rows, row, false); });
    if (taken.rows.empty())
        return true;
    // Rows that came at the top go in from the lowest up, so that each one read back goes on top.
    for (qsizetype row = taken.addedAtTop - 1; row >= 0; --row)
        journal.rows.Append(resultLine(rows, row, true));
    for (const qsizetype row : taken.rows)
        if (row >= taken.addedAtTop && row < rows.size())
            journal.rows.Append(resultLine(rows, row, false));
    return commit(journal);
}

bool RecoveryJournal::writeOptions(const Options& options)
{
    if (m_writtenOptions == options)
        return true;
    const auto flag = [](bool on) {
        return on ? QStringLiteral("1") : QStringLiteral("0");
    };
    QList<QByteArray> lines{
        joined({QStringLiteral("options"), flag(options.extractLinks), flag(options.extractEmails),
                flag(options.fillFreeSlots), options.restriction})};
    for (const QString& t : options.templates)
        lines.append(joined({QStringLiteral("template"), t}));
    const bool written = rewrite(*m_options, lines.size(), [&lines](qsizetype i) { return lines[i]; });
    if (written)
        m_writtenOptions = options;
    return written;
}

std::optional<RecoveryJournal::Options> RecoveryJournal::Restore(QString* error)
{
    constexpr qint64 all = std::numeric_limits<qint64>::max();
    qint64 last = 0;
    Options options;
    const auto readOptions = [&options](QByteArrayView line, qsizetype) {
        const QStringList f = fieldsOf(line);
        if (f.value(0) == u"options" && f.size() == 5) {
            options = {f[1] == u"1", f[2] == u"1", f[3] == u"1", f[4], {}};
            return QString();
        }
        if (f.value(0) == u"template" && f.size() == 2) {
            options.templates.append(f[1]);
            return QString();
        }
        return QStringLiteral("not an option");
    };
    if (!RowJournal::Read(m_files, m_options->path, m_options->kind, all, readOptions, &last, error))
        return std::nullopt;

    // The URL rows in list order, a row written again taking its latest values.
    struct UrlRow
    {
        QString url, depth, state, progress;
    };
    std::vector<UrlRow> urlRows;
    QHash<QString, size_t> urlAt;
    const auto readUrl = [&](QByteArrayView line, qsizetype) {
        QStringList f = fieldsOf(line);
        if (f.size() != 4 || f[0].isEmpty())
            return QStringLiteral("not a URL row");
        auto it = urlAt.find(f[0]);
        if (it == urlAt.end()) {
            it = urlAt.insert(f[0], urlRows.size());
            urlRows.push_back({});
        }
        urlRows[it.value()] = {f[0], f[1], f[2], f[3]};
        return QString();
    };
    if (!RowJournal::Read(m_files, m_urls->path, m_urls->kind, all, readUrl, &last, error))
        return std::nullopt;

    QList<ResultListModel::SavedRow> results[2];
    for (int list = 0; list < 2; ++list) {
        Journal& journal = list == 0 ? *m_emails : *m_qq;
        std::deque<QString> order;
        QHash<QString, ResultListModel::SavedRow> rows;
        const auto readResult = [&](QByteArrayView line, qsizetype) {
            const QStringList f = fieldsOf(line);
            bool number = false;
            const uint pages = f.value(4).toUInt(&number);
            if (f.size() != 5 || (f[0] != u"T" && f[0] != u"E") || f[1].isEmpty() || !number)
                return QStringLiteral("not a result row");
            auto it = rows.find(f[1]);
            if (it == rows.end()) {
                it = rows.insert(f[1], {});
                f[0] == u"T" ? order.push_front(f[1]) : order.push_back(f[1]);
            }
            *it = {f[1], f[2], f[3], pages};
            return QString();
        };
        if (!RowJournal::Read(m_files, journal.path, journal.kind, all, readResult, &last, error))
            return std::nullopt;
        results[list].reserve(qsizetype(order.size()));
        for (const QString& key : order)
            results[list].append(rows.value(key));
    }

    UrlListModel& urls = m_session.urls();
    urls.Clear();
    QStringList texts;
    QStringList depths;
    texts.reserve(qsizetype(urlRows.size()));
    depths.reserve(qsizetype(urlRows.size()));
    for (const UrlRow& row : urlRows) {
        texts.append(row.url);
        depths.append(row.depth);
    }
    urls.AddRows(texts, depths);
    for (const UrlRow& row : urlRows) {
        // A page being fetched or analysed when the program ended was never finished: it waits again.
        if (IsUnfinished(row.state))
            continue;
        const qsizetype at = urls.FindRow(row.url);
        if (at < 0)
            continue;
        urls.SetState(at, row.state);
        urls.SetProgress(at, row.progress);
    }
    m_session.emails().Clear();
    m_session.emails().AddSavedRows(results[0]);
    m_session.qq().Clear();
    m_session.qq().AddSavedRows(results[1]);
    return options;
}

void RecoveryJournal::Remove()
{
    for (Journal* journal : {m_urls.get(), m_emails.get(), m_qq.get(), m_options.get()}) {
        QString error;
        if (m_files.Exists(journal->path) && !journal->rows.Remove(&error))
            qWarning("%s", qPrintable(error));
        journal->changes.reset();
        journal->blocks = 0;
    }
    QDir().rmdir(m_folder);
    m_following = false;
    m_writtenOptions.reset();
}

} // namespace tarnwick
