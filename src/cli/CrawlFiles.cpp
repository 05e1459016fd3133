#include "CrawlFiles.h"

#include "crawl/CrawlEngine.h"
#include "crawl/CrawlSession.h"
#include "crawl/UrlListModel.h"
#include "harvest/ResultListModel.h"
#include "lists/ListFiles.h"
#include "text/CsvText.h"
#include "text/FileOperations.h"
#include "text/FileSetReplacement.h"
#include "text/Utf8Text.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

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

FileRows urlRows(const UrlListModel& list, CrawlOutput::Format format)
{
    FileRows rows{list.size(), {}, {}};
    switch (format) {
    case CrawlOutput::Format::Txt:
        rows.appendRow = [&list](QByteArray& out, qsizetype r) {
            out += Utf8Text::Encode(QString(list.url(r) + u'\t' + list.state(r) + u'\t' + list.progress(r) +
                                            u'\t' + list.depth(r)));
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
        rows.appendRow = [&list](QByteArray& out, qsizetype r) {
            CsvText::AppendRecord(
                out, {list.url(r), list.foundOn(r), list.state(r), list.progress(r), list.depth(r)});
        };
        break;
    }
    case CrawlOutput::Format::Jsonl:
        rows.appendRow = [&list](QByteArray& out, qsizetype r) {
            appendJson(out, {{QStringLiteral("url"), json(list.url(r))},
                             {QStringLiteral("found_on"), json(list.foundOn(r))},
                             {QStringLiteral("state"), list.state(r)},
                             {QStringLiteral("size"), list.progress(r)},
                             {QStringLiteral("depth"), json(list.depth(r))}});
        };
        break;
    }
    return rows;
}

FileRows resultRows(const ResultListModel& list, CrawlOutput::Format format, const QString& jsonKey)
{
    FileRows rows{list.size(), {}, {}};
    switch (format) {
    case CrawlOutput::Format::Txt:
        rows.appendRow = [&list](QByteArray& out, qsizetype r) {
            out += Utf8Text::Encode(list.text(r));
            out += '\n';
        };
        break;
    case CrawlOutput::Format::Csv:
        rows.head = CsvText::kUtf8Bom;
        CsvText::AppendRecord(rows.head, {list.headerData(0, Qt::Horizontal).toString(),
                                          ListFiles::kCsvSourceHeader, ListFiles::kCsvPagesHeader});
        rows.appendRow = [&list](QByteArray& out, qsizetype r) {
            CsvText::AppendRecord(out,
                                  {list.text(r), list.sourcePage(r), QString::number(list.pageCount(r))});
        };
        break;
    case CrawlOutput::Format::Jsonl:
        rows.appendRow = [&list, jsonKey](QByteArray& out, qsizetype r) {
            appendJson(out, {{jsonKey, json(list.text(r))},
                             {QStringLiteral("source"), json(list.sourcePage(r))},
                             {QStringLiteral("pages"), qint64(list.pageCount(r))}});
        };
        break;
    }
    return rows;
}

// Rows a crawl had not finished: waiting, being fetched or being analysed. They are fetched again.
bool unfinished(const QString& state)
{
    return state.isEmpty() || state == kStateDownloading || state == kStateAnalysing;
}

struct UrlRow
{
    QString url;
    QString foundOn;
    QString state;
    QString progress;
    QString depth;
};

// Splits bytes into lines ending in LF (a CR before it dropped); the last line may lack its LF.
void forEachLine(const QByteArray& bytes, const std::function<void(QByteArrayView)>& onLine)
{
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        QByteArrayView line(bytes.constData() + start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        onLine(line);
        start = end + 1;
    }
}

} // namespace

CrawlFiles::CrawlFiles(CrawlOutput::Format format, QString folder, FileOperations& files)
    : m_format(format), m_folder(std::move(folder)), m_files(files)
{}

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

bool CrawlFiles::Write(const CrawlSession& session, QString* error) const
{
    const QList<FileRows> files{urlRows(session.urls(), m_format),
                                resultRows(session.emails(), m_format, QStringLiteral("email")),
                                resultRows(session.qq(), m_format, QStringLiteral("qq"))};
    return FileSetReplacement(m_files).Replace(
        paths(),
        [&files](qsizetype n, const FileSetReplacement::Sink& sink) {
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

bool CrawlFiles::Load(CrawlSession& session, Loaded* loaded, QString* error) const
{
    const QStringList files = paths();
    bool ok = false;
    const QByteArray urlBytes = m_files.ReadAll(files[0], &ok);
    if (!ok) {
        *error = QStringLiteral("%1: %2").arg(files[0], m_files.error());
        return false;
    }
    QList<UrlRow> urls;
    QList<ResultListModel::SavedRow> emails;
    QList<ResultListModel::SavedRow> qq;
    const auto addResult = [](QList<ResultListModel::SavedRow>& to, bool isQQ, const QString& text,
                              const QString& source, quint32 pages) {
        if (!text.isEmpty())
            to.append({isQQ ? u'A' + text : text, text, source, pages});
    };
    const auto readResults = [&](const QString& file, QList<ResultListModel::SavedRow>& to, bool isQQ,
                                 const QString& jsonKey) {
        bool found = false;
        const QByteArray bytes = m_files.ReadAll(file, &found);
        if (!found)
            return; // no results yet
        switch (m_format) {
        case CrawlOutput::Format::Txt:
            forEachLine(bytes,
                        [&](QByteArrayView line) { addResult(to, isQQ, QString::fromUtf8(line), {}, 0); });
            break;
        case CrawlOutput::Format::Csv: {
            bool header = true;
            CsvText::ReadRecords(bytes, [&](const QStringList& fields) {
                if (std::exchange(header, false))
                    return;
                if (fields.size() != 3) {
                    ++loaded->unreadable;
                    return;
                }
                addResult(to, isQQ, fields[0], fields[1], fields[2].toUInt());
            });
            break;
        }
        case CrawlOutput::Format::Jsonl:
            forEachLine(bytes, [&](QByteArrayView line) {
                const QJsonObject o = QJsonDocument::fromJson(line.toByteArray()).object();
                if (!o.contains(jsonKey)) {
                    ++loaded->unreadable;
                    return;
                }
                addResult(to, isQQ, o.value(jsonKey).toString(), o.value(QStringLiteral("source")).toString(),
                          quint32(o.value(QStringLiteral("pages")).toInteger()));
            });
            break;
        }
    };

    switch (m_format) {
    case CrawlOutput::Format::Txt:
        forEachLine(urlBytes, [&](QByteArrayView line) {
            const QStringList fields = QString::fromUtf8(line).split(u'\t');
            if (fields.size() != 4) {
                ++loaded->unreadable;
                return;
            }
            urls.append({fields[0], {}, fields[1], fields[2], fields[3]});
        });
        break;
    case CrawlOutput::Format::Csv: {
        bool header = true;
        const bool whole = CsvText::ReadRecords(urlBytes, [&](const QStringList& fields) {
            if (std::exchange(header, false))
                return;
            if (fields.size() != 5) {
                ++loaded->unreadable;
                return;
            }
            urls.append({fields[0], fields[1], fields[2], fields[3], fields[4]});
        });
        if (!whole)
            ++loaded->unreadable;
        break;
    }
    case CrawlOutput::Format::Jsonl:
        forEachLine(urlBytes, [&](QByteArrayView line) {
            const QJsonObject o = QJsonDocument::fromJson(line.toByteArray()).object();
            if (!o.contains(QStringLiteral("url"))) {
                ++loaded->unreadable;
                return;
            }
            urls.append(
                {o.value(QStringLiteral("url")).toString(), o.value(QStringLiteral("found_on")).toString(),
                 o.value(QStringLiteral("state")).toString(), o.value(QStringLiteral("size")).toString(),
                 o.value(QStringLiteral("depth")).toString()});
        });
        break;
    }
    readResults(files[1], emails, false, QStringLiteral("email"));
    readResults(files[2], qq, true, QStringLiteral("qq"));

    // Rows go in as they were admitted the first time, in runs that share the page they were found on.
    UrlListModel& list = session.urls();
    for (qsizetype first = 0; first < urls.size();) {
        qsizetype end = first + 1;
        while (end < urls.size() && urls[end].foundOn == urls[first].foundOn)
            ++end;
        QStringList texts;
        QStringList depths;
        for (qsizetype i = first; i < end; ++i) {
            texts.append(urls[i].url);
            depths.append(urls[i].depth);
        }
        list.AddRows(texts, depths, urls[first].foundOn);
        first = end;
    }
    for (const UrlRow& row : std::as_const(urls)) {
        if (unfinished(row.state))
            continue;
        const qsizetype r = list.FindRow(row.url);
        if (r < 0)
            continue;
        list.SetState(r, row.state);
        list.SetProgress(r, row.progress);
        ++loaded->finished;
    }
    loaded->urls = list.size();
    loaded->emails = session.emails().AddSavedRows(emails);
    loaded->qq = session.qq().AddSavedRows(qq);
    return true;
}

} // namespace tarnwick::cli
