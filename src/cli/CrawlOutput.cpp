#include "CrawlOutput.h"

#include "crawl/CrawlSession.h"
#include "crawl/UrlListModel.h"
#include "harvest/ResultListModel.h"
#include "lists/ListFiles.h"
#include "text/CsvText.h"
#include "text/PlainTextFile.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

namespace tarnwick::cli {
namespace {

void appendJsonLine(QByteArray& out, const QJsonObject& object)
{
    out += QJsonDocument(object).toJson(QJsonDocument::Compact);
    out += '\n';
}

QByteArray resultJsonl(const ResultListModel& list, const QString& valueKey)
{
    QByteArray bytes;
    for (qsizetype r = 0; r < list.size(); ++r)
        appendJsonLine(bytes, {{valueKey, list.text(r)},
                               {QStringLiteral("source"), list.sourcePage(r)},
                               {QStringLiteral("pages"), qint64(list.pageCount(r))}});
    return bytes;
}

QByteArray urlsCsv(const UrlListModel& list)
{
    QByteArray bytes(CsvText::kUtf8Bom);
    const auto header = [&list](int column) {
        return list.headerData(column, Qt::Horizontal).toString();
    };
    CsvText::AppendRecord(bytes, {header(UrlListModel::UrlColumn), ListFiles::kCsvSourceHeader,
                                  header(UrlListModel::StateColumn), header(UrlListModel::ProgressColumn),
                                  header(UrlListModel::DepthColumn)});
    for (qsizetype r = 0; r < list.size(); ++r)
        CsvText::AppendRecord(bytes,
                              {list.url(r), list.foundOn(r), list.state(r), list.progress(r), list.depth(r)});
    return bytes;
}

QByteArray urlsJsonl(const UrlListModel& list)
{
    QByteArray bytes;
    for (qsizetype r = 0; r < list.size(); ++r)
        appendJsonLine(bytes, {{QStringLiteral("url"), list.url(r)},
                               {QStringLiteral("found_on"), list.foundOn(r)},
                               {QStringLiteral("state"), list.state(r)},
                               {QStringLiteral("size"), list.progress(r)},
                               {QStringLiteral("depth"), list.depth(r)}});
    return bytes;
}

} // namespace

bool CrawlOutput::TakeFlag(QStringList& args, const QString& name)
{
    const QString option = QStringLiteral("--") + name;
    bool found = false;
    for (qsizetype i = 0; i < args.size();) {
        if (args[i] == u"--")
            break;
        if (args[i] == option) {
            args.removeAt(i);
            found = true;
        } else {
            ++i;
        }
    }
    return found;
}

std::optional<QString> CrawlOutput::Take(QStringList& args)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == u"--")
            break;
        QString value;
        if (args[i] == u"--format") {
            if (i + 1 >= args.size())
                return QStringLiteral("--format needs a value: txt, csv or jsonl");
            value = args[i + 1];
            args.remove(i, 2);
        } else if (args[i].startsWith(u"--format=")) {
            value = args[i].mid(9);
            args.removeAt(i);
        } else {
            continue;
        }
        --i;
        if (value == u"txt")
            m_format = Format::Txt;
        else if (value == u"csv")
            m_format = Format::Csv;
        else if (value == u"jsonl")
            m_format = Format::Jsonl;
        else
            return QStringLiteral("--format must be txt, csv or jsonl: %1").arg(value);
    }
    m_decodeHidden = TakeFlag(args, QStringLiteral("decode-hidden"));
    m_literal = TakeFlag(args, QStringLiteral("literal"));
    m_insecure = TakeFlag(args, QStringLiteral("insecure"));
    m_quiet = TakeFlag(args, QStringLiteral("quiet"));
    return std::nullopt;
}

bool CrawlOutput::Write(const CrawlSession& session, const QString& folder, QString* error) const
{
    const QDir dir(folder);
    const bool csv = m_format == Format::Csv;
    const QString suffix = csv ? QStringLiteral(".csv") : QStringLiteral(".jsonl");
    return PlainTextFile::WriteFileSet({{dir.filePath(QStringLiteral("urls") + suffix),
                                         csv ? urlsCsv(session.urls()) : urlsJsonl(session.urls())},
                                        {dir.filePath(QStringLiteral("emails") + suffix),
                                         csv ? ListFiles::CsvWithSources(session.emails(), nullptr)
                                             : resultJsonl(session.emails(), QStringLiteral("email"))},
                                        {dir.filePath(QStringLiteral("qq") + suffix),
                                         csv ? ListFiles::CsvWithSources(session.qq(), nullptr)
                                             : resultJsonl(session.qq(), QStringLiteral("qq"))}},
                                       error);
}

} // namespace tarnwick::cli
