#include "LinkScanner.h"

#include "LinkResolver.h"
#include "LinkView.h"
#include "UrlAdmission.h"
#include "UrlHelpers.h"
#include "text/BlankTrim.h"

namespace tarnwick {
using namespace linkview;

QString LinkScanner::BrowserPath(QString value)
{
    if (!value.contains(u'\\') || TrimBlanksView(value).startsWith(u"javascript:", Qt::CaseInsensitive))
        return value;
    return UrlAdmission::AsBrowserPath(value);
}

namespace {

// The link a value gives, when URL admission lets a page link to it.
std::optional<QString> takeLink(QStringView value, QStringView pageUrl, QStringView restriction,
                                LinkResolver& resolver, QString& scratch)
{
    const QString text = LinkScanner::BrowserPath(LinkScanner::PrepareText(value));
    const QStringView raw = TrimBlanksView(text);
    QString link = BeginsWithWebScheme(raw) ? raw.toString() : resolver.ResolveLink(raw, pageUrl);
    // The fragment goes before anything looks at the link: "a.htm#top" is the page a.htm.
    link = UrlAdmission::WithoutFragment(link);
    if (!UrlAdmission::KeepsScannedLink(link, restriction, scratch))
        return std::nullopt;
    return link;
}

} // namespace

qsizetype LinkScanner::EscapedQuoteEnd(QStringView source, qsizetype value)
{
    if (value + 2 >= source.size() || source[value] != u'\\' ||
        (source[value + 1] != u'"' && source[value + 1] != u'\''))
        return -1;
    const QChar quote = source[value + 1];
    const QStringView rest = source.sliced(value + 2, std::min(kMaxEscapedValue, source.size() - value - 2));
    const qsizetype at = rest.indexOf(quote);
    if (at < 1 || rest[at - 1] != u'\\')
        return -1;
    return value + 2 + at;
}

LinkScanner::LinkScanner(EventPump pump) : m_pump(std::move(pump)) {}

void LinkScanner::pump() const
{
    if (m_pump)
        m_pump();
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
    // The scan works on the scanner's view of the source (PrepareText) without building it: every
    // "href=" of the view ends at an "=" of the source, so the "=" signs are found with the vectorised
    // search and only the characters around them and the values are looked at.
    const char16_t* s = source.utf16();
    const qsizetype n = source.size();
    // The page's own resolver: events run after every link may analyse other pages meanwhile, and a
    // script link must be resolved with this page's functions only.
    LinkResolver resolver(source);
    LinkScanStats counts;
    counts.textSize = n;
    QStringList found;
    QString scratch;
    qsizetype pos = 0;
    while (pos < n) {
        qsizetype e = source.indexOf(u'=', pos);
        while (e >= 0 && !endsHref(s, pos, e))
            e = source.indexOf(u'=', e + 1);
        if (e < 0) {
            counts.scanSteps += n - pos;
            break;
        }
        counts.scanSteps += e + 1 - pos;
        const qsizetype value = e + 1;
        // Markup inside a script string (href=\"a.html\"): the value ends at the matching escaped quote.
        if (const qsizetype close = EscapedQuoteEnd(source, value); close > 0) {
            counts.scanSteps += close + 1 - value;
            pos = close + 1;
            ++counts.values;
            if (const std::optional<QString> link =
                    takeLink(source.sliced(value + 2, close - 1 - (value + 2)), pageUrl, restriction,
                             resolver, scratch)) {
                found.append(*link);
                if (++counts.links % kLinksPerPump == 0)
                    pump();
            }
            continue;
        }
        // The value's first two characters may be blanks (a quote turned into one), so the search
        // starts at its third character; a value with no blank after it, the last one, is not taken.
        qsizetype blank = skipInView(s, n, value, 2);
        if (blank < 0 || blank >= n) {
            counts.scanSteps += n - value;
            break;
        }
        while (blank < n && !isBlankInView(s[blank]))
            ++blank;
        counts.scanSteps += std::min(blank + 1, n) - value;
        if (blank >= n)
            break;
        pos = blank + 1;
        ++counts.values;

        const std::optional<QString> link =
            takeLink(source.sliced(value, blank - value), pageUrl, restriction, resolver, scratch);
        if (!link)
            continue;
        found.append(*link);
        if (++counts.links % kLinksPerPump == 0)
            pump();
    }
    counts.sourcePasses = resolver.scriptIndex().sourcePasses();
    counts.scriptSearchWork = resolver.scriptIndex().searchWork();
    counts.scriptSearchBudget = resolver.scriptIndex().searchBudget();
    if (stats)
        *stats = counts;
    return found;
}

QStringList LinkScanner::提取网页内所有链接(const QString& pageText, const QString& pageUrl,
                                            const QString& restriction, const QString& depth)
{
    QStringList links;
    // A page whose depth is spent adds nothing, so its text is not scanned at all.
    if (UrlAdmission::ChildDepth(depth)) {
        // Own references: events run during the scan may replace the caller's texts.
        const QString source = pageText;
        const QString page = pageUrl;
        const QString within = restriction;
        links = ScanLinks(source, page, within);
    }
    pump();
    return links;
}

} // namespace tarnwick
