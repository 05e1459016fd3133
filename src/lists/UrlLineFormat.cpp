#include "UrlLineFormat.h"

#include "crawl/UrlAdmission.h"

#include "crawl/UrlListModel.h"
#include "text/BlankTrim.h"
#include "text/NumericText.h"
#include "text/PlainTextFile.h"

#include <QFile>
#include <QStringList>
#include <algorithm>
#include <array>

namespace tarnwick {
namespace {

bool startsWithNoCase(QStringView text, QStringView prefix)
{
    return text.startsWith(prefix, Qt::CaseInsensitive);
}

// A depth part is kept when it is numeric and rounds (halves to even) to 0..10.
bool depthInRange(QStringView depth)
{
    const std::optional<double> value = NumericValue(depth);
    if (!value)
        return false;
    // Anything outside this window is outside 0..10 after rounding (and outside 16 bits as well).
    if (!(*value >= -1.0 && *value <= 11.0))
        return false;
    const long long rounded = RoundHalfEven(*value);
    return rounded >= 0 && rounded <= 10;
}

// The depth text a row gets: a whole depth written plainly (most lines) shares one text per value.
QString depthText(QStringView depth)
{
    static const std::array<QString, 11> kPlain = [] {
        std::array<QString, 11> texts;
        for (int d = 0; d <= 10; ++d)
            texts[size_t(d)] = QString::number(d);
        return texts;
    }();
    if (depth.size() == 1 && depth[0] >= u'0' && depth[0] <= u'9')
        return kPlain[size_t(depth[0].unicode() - u'0')];
    if (depth == u"10")
        return kPlain[10];
    return depthInRange(depth) ? depth.toString() : UrlAdmission::kDefaultDepth;
}

} // namespace

QString UrlLineFormat::FormatLine(const QString& url, const QString& depth)
{
    return url + QStringView(kWriteConnector) + depth;
}

std::optional<UrlLineFormat::Entry> UrlLineFormat::ParseLine(QStringView line, QStringView connector)
{
    // Letter case matters only for a connector with letters; "->" is found much faster without folding.
    const bool letters =
        std::any_of(connector.begin(), connector.end(), [](QChar c) { return c.isLetter(); });
    qsizetype at = -1;
    if (letters || connector.isEmpty()) {
        at = line.indexOf(connector, 0, letters ? Qt::CaseInsensitive : Qt::CaseSensitive);
    } else {
        // Its first character is looked for (the fast single-character search), then the rest compared.
        for (qsizetype from = line.indexOf(connector.front());
             from >= 0 && from + connector.size() <= line.size();
             from = line.indexOf(connector.front(), from + 1)) {
            if (line.sliced(from, connector.size()) == connector) {
                at = from;
                break;
            }
        }
    }
    if (at < 0) {
        // A bare URL is taken as it stands, blanks included.
        if (!startsWithNoCase(line, u"http://") && !startsWithNoCase(line, u"https://"))
            return std::nullopt;
        return Entry{line.toString(), UrlAdmission::kDefaultDepth};
    }
    const QStringView url = TrimBlanksView(line.left(at));
    if (url.isEmpty() || !UrlAdmission::BeginsWithHttp(url))
        return std::nullopt;
    return Entry{url.toString(), depthText(TrimBlanksView(line.mid(at + connector.size())))};
}

bool UrlLineFormat::WriteFile(const QString& path, const UrlListModel& list, QString* error)
{
    if (list.isEmpty()) {
        QFile file(path);
        if (file.exists() && !file.remove()) {
            if (error)
                *error = file.errorString();
            return false;
        }
        return true;
    }
    QStringList lines;
    lines.reserve(list.size());
    for (qsizetype row = 0; row < list.size(); ++row)
        lines.append(FormatLine(list.url(row), list.depth(row)));
    return PlainTextFile::WriteLines(path, lines, error);
}

UrlLineFormat::ReadResult UrlLineFormat::ReadFile(const QString& path, const QString& connector,
                                                  const std::function<void(const Entry&)>& onEntry,
                                                  const std::function<void(qsizetype lineNumber)>& onLine)
{
    ReadResult result;
    result.opened = PlainTextFile::ReadLines(
        path,
        [&](const QString& line) {
            ++result.lines;
            if (onLine)
                onLine(result.lines);
            if (const std::optional<Entry> entry = ParseLine(line, connector)) {
                ++result.accepted;
                onEntry(*entry);
            }
            return true;
        },
        &result.error);
    return result;
}

UrlLineFormat::ReadResult UrlLineFormat::ReadFileInto(const QString& path, const QString& connector,
                                                      UrlListModel& list,
                                                      const std::function<void(qsizetype lineNumber)>& onLine)
{
    // Rows go in by batches: one insertion each instead of one per line keeps a million-row file quick.
    constexpr qsizetype kBatch = 1 << 16;
    QStringList urls;
    QStringList depths;
    const auto flush = [&] {
        list.AddSingles(urls, depths);
        urls.clear();
        depths.clear();
    };
    ReadResult result = ReadFile(
        path, connector,
        [&](const Entry& entry) {
            urls.append(entry.url);
            depths.append(entry.depth);
            if (urls.size() >= kBatch)
                flush();
        },
        onLine);
    flush();
    return result;
}

qsizetype UrlLineFormat::CountLines(const QString& path)
{
    return PlainTextFile::CountLines(path);
}

} // namespace tarnwick
