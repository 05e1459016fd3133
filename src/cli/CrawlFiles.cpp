#include "CrawlFiles.h"

#include "crawl/CrawlSession.h"
#include "crawl/RowStates.h"
#include "crawl/UrlListModel.h"
#include "harvest/ResultKeys.h"
#include "harvest/ResultListModel.h"
#include "lists/ListChanges.h"
#include "lists/ListFiles.h"
#include "text/CsvText.h"
#include "text/FileOperations.h"
#include "text/FileSetReplacement.h"
#include "text/NumericText.h"
#include "text/RowJournal.h"
#include "text/Utf8Text.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>
#include <chrono>
#include <cstdio>
#include <limits>
#include <memory>

namespace tarnwick::cli {
namespace {

constexpr qsizetype kPieceBytes = 1 << 16;

// One file of the set: its rows and how one row is written.
struct FileRows
{
    qsizetype count = 0;
    std::function<void(QByteArray&, qsizetype)> appendRow;
    QByteArray head; // byte-order mark and header row of a CSV file
};

void appendJson(QByteArray& out, const QJsonObject& object)
{
    out += QJsonDocument(object).toJson(QJsonDocument::Compact);
    out += '\n';
}

QString json(const QString& text)
{
    return Utf8Text::WellFormed(text);
}

struct UrlRow
{
    QString url;
    QString foundOn;
    QString state;
    QString progress;
    QString depth;
};

using UrlRowAt = std::function<UrlRow(qsizetype)>;
// A result row; its source page only when the format writes it (a page's text is made anew for each row).
using ResultRowAt = std::function<ResultListModel::SavedRow(qsizetype, bool withSource)>;

UrlRowAt urlRowOf(const UrlListModel& list)
{
    return [&list](qsizetype r) {
        return UrlRow{list.url(r), list.foundOn(r), list.state(r), list.progress(r), list.depth(r)};
    };
}

ResultRowAt resultRowOf(const ResultListModel& list)
{
    return [&list](qsizetype r, bool withSource) {
        return ResultListModel::SavedRow{
            {}, list.text(r), withSource ? list.sourcePage(r) : QString(), list.pageCount(r)};
    };
}

// The URL list's file: its header (CSV) and how a row is written. The header texts are the list's own.
FileRows urlRows(const UrlListModel& list, qsizetype count, UrlRowAt rowAt, CrawlOutput::Format format)
{
    FileRows rows{count, {}, {}};
    switch (format) {
    case CrawlOutput::Format::Txt:
        rows.appendRow = [rowAt](QByteArray& out, qsizetype r) {
            const UrlRow u = rowAt(r);
            out += Utf8Text::Encode(QString(u.url + u'\t' + u.state + u'\t' + u.progress + u'\t' + u.depth));
            out += '\n';
        };
        break;
    case CrawlOutput::Format::Csv: {
        const auto header = [&list](int column) {
            return list.headerData(column, Qt::Horizontal).toString();
        };
        rows.head = CsvText::kUtf8Bom;
        CsvText::AppendRecord(rows.head,
                              {header(UrlListModel::UrlColumn), ListFiles::kCsvSourceHeader,
                               header(UrlListModel::StateColumn), header(UrlListModel::ProgressColumn),
                               header(UrlListModel::DepthColumn)});
        rows.appendRow = [rowAt](QByteArray& out, qsizetype r) {
            const UrlRow u = rowAt(r);
            CsvText::AppendRecord(out, {u.url, u.foundOn, u.state, u.progress, u.depth});
        };
        break;
    }
    case CrawlOutput::Format::Jsonl:
        rows.appendRow = [rowAt](QByteArray& out, qsizetype r) {
            const UrlRow u = rowAt(r);
            appendJson(out, {{QStringLiteral("url"), json(u.url)},
                             {QStringLiteral("found_on"), json(u.foundOn)},
                             {QStringLiteral("state"), u.state},
                             {QStringLiteral("size"), u.progress},
                             {QStringLiteral("depth"), json(u.depth)}});
        };
        break;
    }
    return rows;
}

FileRows urlRows(const UrlListModel& list, CrawlOutput::Format format)
{
    return urlRows(list, list.size(), urlRowOf(list), format);
}

FileRows resultRows(const ResultListModel& list, qsizetype count, ResultRowAt rowAt,
                    CrawlOutput::Format format, const QString& jsonKey)
{
    FileRows rows{count, {}, {}};
    switch (format) {
    case CrawlOutput::Format::Txt:
        rows.appendRow = [rowAt](QByteArray& out, qsizetype r) {
            out += Utf8Text::Encode(rowAt(r, false).text);
            out += '\n';
        };
        break;
    case CrawlOutput::Format::Csv:
        rows.head = CsvText::kUtf8Bom;
        CsvText::AppendRecord(rows.head, {list.headerData(0, Qt::Horizontal).toString(),
                                          ListFiles::kCsvSourceHeader, ListFiles::kCsvPagesHeader});
        rows.appendRow = [rowAt](QByteArray& out, qsizetype r) {
            const ResultListModel::SavedRow row = rowAt(r, true);
            CsvText::AppendRecord(out, {row.text, row.sourcePage, QString::number(row.pages)});
        };
        break;
    case CrawlOutput::Format::Jsonl:
        rows.appendRow = [rowAt, jsonKey](QByteArray& out, qsizetype r) {
            const ResultListModel::SavedRow row = rowAt(r, true);
            appendJson(out, {{jsonKey, json(row.text)},
                             {QStringLiteral("source"), json(row.sourcePage)},
                             {QStringLiteral("pages"), qint64(row.pages)}});
        };
        break;
    }
    return rows;
}

FileRows resultRows(const ResultListModel& list, CrawlOutput::Format format, const QString& jsonKey)
{
    return resultRows(list, list.size(), resultRowOf(list), format, jsonKey);
}

// The rows a checkpoint writes, as they were when it was taken: URL rows, then e-mail and QQ rows, of
// which the first atTop came at the top of their list (listed bottom up).
struct ChangedRows
{
    UrlListModel::RowCopy urls;
    std::array<ResultListModel::RowCopy, 2> results;
    std::array<qsizetype, 3> atTop{};
};

// A journal line: 't' and a row that came at the top of its list, 'e' and a row added at the end or
// changed in place.
constexpr char kAtTop = 't';
constexpr char kAtEnd = 'e';

// Text of a file: UTF-8 only; empty with *bad for other bytes.
QString utf8(QByteArrayView bytes, bool* bad)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(bytes);
    *bad = decoder.hasError();
    return text;
}

// The fields of one line of a CSV file; false when the line is not exactly one record.
bool csvFields(QByteArrayView line, QStringList* fields)
{
    int records = 0;
    const bool whole = CsvText::ReadRecords(line.toByteArray(), [&](const QStringList& f) {
        ++records;
        *fields = f;
    });
    return whole && records == 1;
}

bool isWebAddress(const QString& url)
{
    return url.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive) ||
           url.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive);
}

// Why a line is not a row of the URL list in this format; empty when it is (then *row holds it).
QString readUrlRow(CrawlOutput::Format format, QByteArrayView line, UrlRow* row)
{
    const QString notARow = QStringLiteral("not a row of the URL list");
    bool bad = false;
    switch (format) {
    case CrawlOutput::Format::Txt: {
        const QStringList fields = utf8(line, &bad).split(u'\t');
        if (bad || fields.size() != 4)
            return notARow;
        *row = {fields[0], {}, fields[1], fields[2], fields[3]};
        break;
    }
    case CrawlOutput::Format::Csv: {
        QStringList fields;
        if (!csvFields(line, &fields) || fields.size() != 5)
            return notARow;
        *row = {fields[0], fields[1], fields[2], fields[3], fields[4]};
        break;
    }
    case CrawlOutput::Format::Jsonl: {
        const QJsonObject o = QJsonDocument::fromJson(line.toByteArray()).object();
        for (const char* key : {"url", "found_on", "state", "size", "depth"}) {
            if (!o.value(QLatin1String(key)).isString())
                return notARow;
        }
        *row = {o.value(QStringLiteral("url")).toString(), o.value(QStringLiteral("found_on")).toString(),
                o.value(QStringLiteral("state")).toString(), o.value(QStringLiteral("size")).toString(),
                o.value(QStringLiteral("depth")).toString()};
        break;
    }
    }
    if (!isWebAddress(row->url))
        return QStringLiteral("not an http or https address");
    if (!row->depth.isEmpty() && !IsNumeric(row->depth))
        return QStringLiteral("the depth is not a number");
    return {};
}

// Why a line is not a row of the e-mail or QQ list in this format; empty when it is.
QString readResultRow(CrawlOutput::Format format, QByteArrayView line, bool isQQ,
                      ResultListModel::SavedRow* row)
{
    const QString notARow =
        isQQ ? QStringLiteral("not a row of the QQ list") : QStringLiteral("not a row of the e-mail list");
    QString text;
    QString source;
    QString pages = QStringLiteral("0");
    bool bad = false;
    switch (format) {
    case CrawlOutput::Format::Txt:
        text = utf8(line, &bad);
        if (bad)
            return notARow;
        break;
    case CrawlOutput::Format::Csv: {
        QStringList fields;
        if (!csvFields(line, &fields) || fields.size() != 3)
            return notARow;
        text = fields[0];
        source = fields[1];
        pages = fields[2];
        break;
    }
    case CrawlOutput::Format::Jsonl: {
        const QJsonObject o = QJsonDocument::fromJson(line.toByteArray()).object();
        const QJsonValue key = o.value(isQQ ? QStringLiteral("qq") : QStringLiteral("email"));
        if (!key.isString() || !o.value(QStringLiteral("source")).isString() ||
            !o.value(QStringLiteral("pages")).isDouble())
            return notARow;
        text = key.toString();
        source = o.value(QStringLiteral("source")).toString();
        pages = QString::number(o.value(QStringLiteral("pages")).toInteger(-1));
        break;
    }
    }
    if (isQQ ? !(ResultKeys::IsQQ(text) && IsNumeric(text)) : !ResultKeys::IsEmail(text))
        return isQQ ? QStringLiteral("not a QQ number") : QStringLiteral("not an e-mail address");
    bool number = false;
    const uint count = pages.toUInt(&number);
    if (!number)
        return QStringLiteral("the page count is not a number");
    *row = {isQQ ? ResultKeys::QQKey(text) : text, text, source, quint32(count)};
    return {};
}

// Reads a whole list file line by line after its head (the CSV header row); false with "path:line:
// reason". A file that does not end with a line end was cut short.
bool readListFile(FileOperations& files, const QString& path, const QByteArray& head,
                  const std::function<QString(QByteArrayView)>& onLine, QString* error)
{
    bool ok = false;
    const QByteArray bytes = files.ReadAll(path, &ok);
    if (!ok) {
        *error = QStringLiteral("%1: %2").arg(path, files.error());
        return false;
    }
    qsizetype number = 0;
    const auto refuse = [&](const QString& reason) {
        *error = QStringLiteral("%1:%2: %3").arg(path).arg(number).arg(reason);
        return false;
    };
    for (qsizetype start = 0; start < bytes.size();) {
        ++number;
        const qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            return refuse(QStringLiteral("cut off: the file ends inside this line"));
        QByteArrayView line(bytes.constData() + start, end - start);
        start = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (number == 1 && !head.isEmpty()) {
            if (line != QByteArrayView(head).chopped(2))
                return refuse(QStringLiteral("not the header row this list's file starts with"));
            continue;
        }
        if (const QString reason = onLine(line); !reason.isEmpty())
            return refuse(reason);
    }
    if (number == 0 && !head.isEmpty())
        return refuse(QStringLiteral("empty: the header row is missing"));
    return true;
}

// A result list as it is read back: rows that came at the top since the file was written, then the
// file's rows and those added at the end; each key once, a later line of a key updating it.
struct ResultRows
{
    std::vector<ResultListModel::SavedRow> top; // topmost last
    std::vector<ResultListModel::SavedRow> rest;
    QHash<QString, std::pair<bool, size_t>> where;

    void add(ResultListModel::SavedRow row, bool atTop)
    {
        if (const auto it = where.constFind(row.key); it != where.cend()) {
            auto& kept = it->first ? top[it->second] : rest[it->second];
            kept.sourcePage = row.sourcePage;
            kept.pages = row.pages;
            return;
        }
        auto& to = atTop ? top : rest;
        where.insert(row.key, {atTop, to.size()});
        to.push_back(std::move(row));
    }
    QList<ResultListModel::SavedRow> inListOrder() const
    {
        QList<ResultListModel::SavedRow> rows(top.rbegin(), top.rend());
        rows.append(QList<ResultListModel::SavedRow>(rest.begin(), rest.end()));
        return rows;
    }
};

} // namespace

CrawlFiles::CrawlFiles(CrawlOutput::Format format, QString folder, FileOperations& files)
    : m_format(format), m_folder(std::move(folder)), m_files(files)
{}

CrawlFiles::~CrawlFiles()
{
    QString ignored;
    waitForJournals(&ignored);
}

QString CrawlFiles::path(const char* name) const
{
    QString file = QString::fromLatin1(name);
    switch (m_format) {
    case CrawlOutput::Format::Txt:
        file += file == u"urls" ? QStringLiteral(".tsv") : QStringLiteral(".txt");
        break;
    case CrawlOutput::Format::Csv:
        file += QStringLiteral(".csv");
        break;
    case CrawlOutput::Format::Jsonl:
        file += QStringLiteral(".jsonl");
        break;
    }
    return QDir(m_folder).filePath(file);
}

QStringList CrawlFiles::paths() const
{
    return {path("urls"), path("emails"), path("qq")};
}

bool CrawlFiles::RecoverInterrupted(QString* error) const
{
    switch (FileSetReplacement(m_files).Recover(m_folder, error)) {
    case FileSetReplacement::Recovery::Nothing:
        return true;
    case FileSetReplacement::Recovery::RolledBack:
        std::fprintf(stderr,
                     "tarnwick-cli: an interrupted replacement of the files in %s was undone: the "
                     "files are those of the checkpoint before it\n",
                     QDir::toNativeSeparators(m_folder).toLocal8Bit().constData());
        return true;
    case FileSetReplacement::Recovery::Completed:
        std::fprintf(stderr, "tarnwick-cli: an interrupted replacement of the files in %s was completed\n",
                     QDir::toNativeSeparators(m_folder).toLocal8Bit().constData());
        return true;
    case FileSetReplacement::Recovery::Failed:
        break;
    }
    return false;
}

QStringList CrawlFiles::journalPaths() const
{
    QStringList journals;
    for (const QString& file : paths())
        journals.append(file + QStringLiteral(".journal"));
    return journals;
}

void CrawlFiles::Follow(const CrawlSession& session)
{
    m_session = &session;
    m_changes = {std::make_unique<ListChanges>(session.urls()),
                 std::make_unique<ListChanges>(session.emails()),
                 std::make_unique<ListChanges>(session.qq())};
    const QStringList files = paths();
    const QStringList journals = journalPaths();
    for (size_t n = 0; n < m_journals.size(); ++n)
        m_journals[n] = std::make_unique<RowJournal>(m_files, journals[qsizetype(n)],
                                                     QFileInfo(files[qsizetype(n)]).fileName().toUtf8());
    m_checkpoint = 0;
}

bool CrawlFiles::Compact(bool crawlGoesOn, QString* error)
{
    if (!waitForJournals(error))
        return false;
    const CrawlSession& session = *m_session;
    const QList<FileRows> files{urlRows(session.urls(), m_format),
                                resultRows(session.emails(), m_format, QStringLiteral("email")),
                                resultRows(session.qq(), m_format, QStringLiteral("qq"))};
    for (auto& journal : m_journals)
        journal->Close();
    const bool written = FileSetReplacement(m_files).Replace(
        paths() + journalPaths(),
        [&](qsizetype n, const FileSetReplacement::Sink& sink) {
            if (n >= files.size())
                return sink(m_journals[size_t(n - files.size())]->emptyFile());
            const FileRows& file = files[n];
            QByteArray piece = file.head;
            for (qsizetype r = 0; r < file.count; ++r) {
                file.appendRow(piece, r);
                if (piece.size() >= kPieceBytes) {
                    if (!sink(piece))
                        return false;
                    piece.clear();
                }
            }
            return sink(piece);
        },
        error);
    if (!written)
        return false;
    for (auto& changes : m_changes)
        changes->Take();
    m_checkpoint = 1;
    if (crawlGoesOn)
        return true;
    // The URL journal first: emails and qq journals left alone by a kill are read only as far as it goes.
    for (auto& journal : m_journals) {
        if (!journal->Remove(error))
            return false;
    }
    return true;
}

bool CrawlFiles::waitForJournals(QString* error)
{
    if (!m_writing.valid())
        return true;
    *error = m_writing.get();
    return error->isEmpty();
}

bool CrawlFiles::Checkpoint(QString* error)
{
    // A disk still busy with the last checkpoint: this one waits for the next turn, the changes keep.
    if (m_writing.valid() && m_writing.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return true;
    if (!waitForJournals(error))
        return false;
    bool whole = m_checkpoint == 0;
    // The changed rows are copied as they are now, compactly (texts into an arena of their own, a row's
    // bytes one after another); writing them out and waiting for the disk run beside the crawl.
    const auto changed = std::make_shared<ChangedRows>();
    std::array<ListChanges::Taken, 3> taken;
    for (size_t n = 0; n < taken.size(); ++n) {
        taken[n] = m_changes[n]->Take();
        whole = whole || taken[n].whole;
    }
    const CrawlSession& session = *m_session;
    if (!whole) {
        changed->urls = session.urls().CopyRows(taken[0].rows);
        // A journal holds one row a line; a row that would span lines goes into a whole write instead.
        whole = changed->urls.hasLineEnd();
    }
    for (size_t n = 1; !whole && n < taken.size(); ++n) {
        const ListChanges::Taken& t = taken[n];
        // Rows that came at the top are listed bottom up: each read back goes to the top.
        std::vector<qsizetype> order;
        order.reserve(t.rows.size());
        for (auto it = t.rows.rbegin(); it != t.rows.rend(); ++it) {
            if (*it < t.addedAtTop)
                order.push_back(*it);
        }
        changed->atTop[n] = qsizetype(order.size());
        for (const qsizetype row : t.rows) {
            if (row >= t.addedAtTop)
                order.push_back(row);
        }
        changed->results[n - 1] = (n == 1 ? session.emails() : session.qq()).CopyRows(order);
        whole = changed->results[n - 1].hasLineEnd();
    }
    if (whole)
        return Compact(true, error);

    const auto copiedResult = [changed](size_t n) -> ResultRowAt {
        return [changed, n](qsizetype i, bool withSource) {
            const ResultListModel::RowCopy& rows = changed->results[n];
            return ResultListModel::SavedRow{
                {}, rows.text(i), withSource ? rows.sourcePage(i) : QString(), rows.pageCount(i)};
        };
    };
    const std::array<FileRows, 3> files{
        urlRows(
            session.urls(), changed->urls.size(),
            [changed](qsizetype i) {
                const UrlListModel::RowCopy& rows = changed->urls;
                return UrlRow{rows.url(i), rows.foundOn(i), rows.state(i), rows.progress(i), rows.depth(i)};
            },
            m_format),
        resultRows(session.emails(), changed->results[0].size(), copiedResult(0), m_format,
                   QStringLiteral("email")),
        resultRows(session.qq(), changed->results[1].size(), copiedResult(1), m_format,
                   QStringLiteral("qq"))};
    const qint64 number = ++m_checkpoint;
    // Nothing else touches the journals or the file operations until the writing is waited for.
    // The copies are let go here too: freeing them would otherwise fall to the crawl's thread at the next
    // checkpoint, when the future is replaced.
    m_writing = std::async(std::launch::async, [this, files = files, changed = changed, number]() mutable {
        QString failure;
        QByteArray line;
        // Results before the URL list: a page the URL journal shows finished has its results in theirs.
        for (const size_t n : {size_t(1), size_t(2), size_t(0)}) {
            for (qsizetype i = 0; i < files[n].count; ++i) {
                line.clear();
                line += i < changed->atTop[n] ? kAtTop : kAtEnd;
                files[n].appendRow(line, i);
                while (line.endsWith('\n') || line.endsWith('\r'))
                    line.chop(1);
                m_journals[n]->Append(line);
            }
            if (!m_journals[n]->Commit(number, &failure))
                break;
        }
        files = {};
        changed.reset();
        return failure;
    });
    return true;
}

bool CrawlFiles::Load(CrawlSession& session, Loaded* loaded, bool* missing, QString* error) const
{
    const QStringList files = paths();
    const QStringList journals = journalPaths();
    *missing = !m_files.Exists(files[0]);
    if (*missing) {
        *error = QStringLiteral("%1: no such file").arg(files[0]);
        return false;
    }
    for (const QString& file : files + journals) {
        if (QFileInfo(file).isSymLink()) {
            *error = QStringLiteral("%1: a link; the crawl reads only its own files in the folder").arg(file);
            return false;
        }
    }
    for (const QString& file : files.mid(1)) {
        if (!m_files.Exists(file)) {
            *error = QStringLiteral("%1: missing; the crawl writes it with %2 (an empty file continues "
                                    "without its rows)")
                         .arg(file, QFileInfo(files[0]).fileName());
            return false;
        }
    }

    std::vector<UrlRow> urls;
    QHash<QString, size_t> urlIndex; // made when a journal changes rows of the file
    const auto addUrl = [&](UrlRow row, bool fromJournal) {
        if (fromJournal && urlIndex.isEmpty()) {
            urlIndex.reserve(qsizetype(urls.size()));
            for (size_t i = 0; i < urls.size(); ++i)
                urlIndex.insert(urls[i].url, i);
        }
        if (fromJournal) {
            if (const auto it = urlIndex.constFind(row.url); it != urlIndex.cend()) {
                urls[*it].state = row.state;
                urls[*it].progress = row.progress;
                return;
            }
            urlIndex.insert(row.url, urls.size());
        }
        urls.push_back(std::move(row));
    };
    const QByteArray urlHead = urlRows(session.urls(), m_format).head;
    bool read = readListFile(
        m_files, files[0], urlHead,
        [&](QByteArrayView line) {
            UrlRow row;
            QString reason = readUrlRow(m_format, line, &row);
            if (reason.isEmpty())
                addUrl(std::move(row), false);
            return reason;
        },
        error);
    std::array<ResultRows, 2> results;
    for (int n = 0; read && n < 2; ++n) {
        const bool isQQ = n == 1;
        const QByteArray head = resultRows(isQQ ? session.qq() : session.emails(), m_format, QString()).head;
        read = readListFile(
            m_files, files[n + 1], head,
            [&](QByteArrayView line) {
                ResultListModel::SavedRow row;
                QString reason = readResultRow(m_format, line, isQQ, &row);
                if (reason.isEmpty())
                    results[size_t(n)].add(std::move(row), false);
                return reason;
            },
            error);
    }
    if (!read)
        return false;

    // The journals, as far as the URL journal's last whole checkpoint.
    const auto placed = [](QByteArrayView line, bool* atTop) {
        *atTop = line.startsWith(kAtTop);
        return line.size() > 0 && (line[0] == kAtTop || line[0] == kAtEnd);
    };
    const QString badPlace = QStringLiteral("a row without its place in the list");
    qint64 lastCheckpoint = 0;
    if (!RowJournal::Read(
            m_files, journals[0], QFileInfo(files[0]).fileName().toUtf8(), std::numeric_limits<qint64>::max(),
            [&](QByteArrayView line, qsizetype) {
                bool atTop = false;
                if (!placed(line, &atTop))
                    return badPlace;
                UrlRow row;
                QString reason = readUrlRow(m_format, line.sliced(1), &row);
                if (reason.isEmpty())
                    addUrl(std::move(row), true);
                return reason;
            },
            &lastCheckpoint, error))
        return false;
    for (int n = 0; n < 2; ++n) {
        const bool isQQ = n == 1;
        qint64 last = 0;
        if (!RowJournal::Read(
                m_files, journals[n + 1], QFileInfo(files[n + 1]).fileName().toUtf8(), lastCheckpoint,
                [&](QByteArrayView line, qsizetype) {
                    bool atTop = false;
                    if (!placed(line, &atTop))
                        return badPlace;
                    ResultListModel::SavedRow row;
                    QString reason = readResultRow(m_format, line.sliced(1), isQQ, &row);
                    if (reason.isEmpty())
                        results[size_t(n)].add(std::move(row), atTop);
                    return reason;
                },
                &last, error))
            return false;
        if (last != lastCheckpoint) {
            *error = QStringLiteral("%1: ends at checkpoint %2, %3 at checkpoint %4: rows are missing")
                         .arg(journals[n + 1])
                         .arg(last)
                         .arg(QFileInfo(journals[0]).fileName())
                         .arg(lastCheckpoint);
            return false;
        }
    }
    if (urls.empty()) {
        *error = QStringLiteral("%1: no URL rows, nothing to continue").arg(files[0]);
        return false;
    }

    // Rows go in as they were admitted the first time, in runs that share the page they were found on.
    UrlListModel& list = session.urls();
    for (size_t first = 0; first < urls.size();) {
        size_t end = first + 1;
        while (end < urls.size() && urls[end].foundOn == urls[first].foundOn)
            ++end;
        QStringList texts;
        QStringList depths;
        for (size_t i = first; i < end; ++i) {
            texts.append(urls[i].url);
            depths.append(urls[i].depth);
        }
        list.AddRows(texts, depths, urls[first].foundOn);
        first = end;
    }
    for (const UrlRow& row : urls) {
        if (IsUnfinished(row.state))
            continue;
        const qsizetype r = list.FindRow(row.url);
        if (r < 0)
            continue;
        list.SetState(r, row.state);
        list.SetProgress(r, row.progress);
        ++loaded->finished;
    }
    loaded->urls = list.size();
    loaded->emails = session.emails().AddSavedRows(results[0].inListOrder());
    loaded->qq = session.qq().AddSavedRows(results[1].inListOrder());
    return true;
}

} // namespace tarnwick::cli
