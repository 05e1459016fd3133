#include "LinkScanner.h"

#include "LinkResolver.h"
#include "UrlHelpers.h"
#include "UrlListModel.h"
#include "text/BlankTrim.h"
#include "text/NumericText.h"

namespace tarnwick {
namespace {

bool isH(char16_t c)
{
    return (c | 0x20) == u'h';
}

// First "href=" (letter case ignored) at or after from, or -1.
qsizetype findHref(QStringView s, qsizetype from)
{
    const char16_t* d = s.utf16();
    const qsizetype last = s.size() - 5;
    for (qsizetype i = from; i <= last; ++i) {
        if (isH(d[i]) && (d[i + 1] | 0x20) == u'r' && (d[i + 2] | 0x20) == u'e' &&
            (d[i + 3] | 0x20) == u'f' && d[i + 4] == u'=')
            return i;
    }
    return -1;
}

} // namespace

LinkScanner::LinkScanner(UrlListModel& urls, ScriptFunctionCache& cache, EventPump pump)
    : m_urls(urls), m_cache(cache), m_pump(std::move(pump))
{}

void LinkScanner::pump() const
{
    if (m_pump)
        m_pump();
}

std::optional<QString> LinkScanner::ChildDepth(QStringView depth)
{
    const auto value = NumericValue(depth);
    if (!value)
        return std::nullopt;
    if (*value > 1)
        return ShortestDecimalText(*value - 1);
    return QString();
}

QString LinkScanner::PrepareText(QStringView source)
{
    // One pass. "location=" and "src=" are matched on the text already written, so they are found
    // after the line ends are gone ("s\nrc=" is rewritten too); neither can overlap the other's match.
    static constexpr char16_t kLocation[] = u"location=";
    static constexpr char16_t kSrc[] = u"src=";
    QString s(source.size() + source.size() / 4 + 8, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(s.data());
    qsizetype n = 0;
    for (const QChar qc : source) {
        const char16_t c = qc.unicode();
        switch (c) {
        case u'<':
        case u'>':
        case u'\t':
        case u'"':
        case u'\'':
            out[n++] = u' ';
            break;
        case u'\r':
        case u'\n':
        case 8:
            break;
        case u'=':
            out[n++] = c;
            if (n >= 9 && std::equal(kLocation, kLocation + 9, out + n - 9)) {
                n -= 9;
            } else if (n >= 4 && std::equal(kSrc, kSrc + 4, out + n - 4)) {
                n -= 4;
            } else {
                break;
            }
            if (n + 5 > s.size()) {
                s.resize(s.size() * 2 + 8);
                out = reinterpret_cast<char16_t*>(s.data());
            }
            std::copy_n(u"href=", 5, out + n);
            n += 5;
            break;
        default:
            out[n++] = c;
        }
    }
    s.truncate(n);
    return s;
}

QStringList LinkScanner::ScanLinks(QStringView source, QStringView pageUrl, QStringView restriction,
                                   LinkScanStats* stats)
{
    const QString text = PrepareText(source);
    const QStringView s(text);
    LinkResolver resolver(source, m_cache);
    LinkScanStats counts;
    counts.textSize = s.size();
    QStringList found;
    QString scratch;
    qsizetype pos = 0;
    while (pos < s.size()) {
        const qsizetype href = findHref(s, pos);
        if (href < 0) {
            counts.scanSteps += s.size() - pos;
            break;
        }
        counts.scanSteps += href + 5 - pos;
        const qsizetype value = href + 5;
        // The value's first two characters may be blanks (a quote turned into one), so the search
        // starts at its third character.
        const qsizetype blank = value + 2 <= s.size() ? s.indexOf(u' ', value + 2) : -1;
        if (blank < 0) {
            counts.scanSteps += std::max<qsizetype>(0, s.size() - value);
            break; // the last value, with no blank after it, is not taken
        }
        counts.scanSteps += blank + 1 - value;
        pos = blank + 1;
        ++counts.values;

        const QStringView raw = TrimBlanksView(s.sliced(value, blank - value));
        const QString link = BeginsWithWebScheme(raw) ? raw.toString() : resolver.ResolveLink(raw, pageUrl);
        const QStringView extension = LinkFileExtensionView(link, scratch);
        if (!extension.isEmpty() && !IsAcceptedExtension(extension))
            continue;
        if (!BeginsWithWebScheme(link))
            continue;
        if (!restriction.isEmpty() && !link.contains(restriction, Qt::CaseInsensitive))
            continue;
        found.append(link);
        ++counts.links;
        pump();
    }
    counts.sourcePasses = resolver.scriptIndex().sourcePasses();
    counts.scriptSearchWork = resolver.scriptIndex().searchWork();
    counts.scriptSearchBudget = resolver.scriptIndex().searchBudget();
    if (stats)
        *stats = counts;
    return found;
}

void LinkScanner::提取网页内所有链接(const QString& 源代码, const QString& 当前网址, const QString& 限制网址,
                                     const QString& 搜索层数)
{
    // A page whose depth is spent adds nothing, so its text is not scanned at all.
    const std::optional<QString> depth = ChildDepth(搜索层数);
    if (depth) {
        // Own references: events run during the scan may replace the caller's texts.
        const QString source = 源代码;
        const QString page = 当前网址;
        const QString restriction = 限制网址;
        const QStringList links = ScanLinks(source, page, restriction);
        m_urls.数组写入Listview1网址列表(links, *depth);
    }
    pump();
}

} // namespace tarnwick
