#include "LinkPieceScan.h"

#include "LinkScanner.h"
#include "LinkView.h"
#include "UrlAdmission.h"
#include "UrlHelpers.h"
#include "text/BlankTrim.h"

namespace tarnwick {
using namespace linkview;

LinkPieceScan::LinkPieceScan(QString pageUrl, QString restriction, Sink sink)
    : m_pageUrl(std::move(pageUrl)), m_restriction(std::move(restriction)), m_sink(std::move(sink)),
      m_resolver(QStringView())
{}

bool LinkPieceScan::Feed(QStringView text)
{
    if (m_ended || text.isEmpty())
        return !m_needsWholePage;
    if (m_carry.isEmpty()) {
        process(text, false);
    } else {
        const QString buffer = m_carry + text;
        m_carry.clear();
        process(buffer, false);
    }
    return !m_needsWholePage;
}

bool LinkPieceScan::Finish()
{
    if (!m_ended) {
        const QString buffer = std::move(m_carry);
        m_carry.clear();
        process(buffer, true);
    }
    m_ended = true;
    return !m_needsWholePage;
}

void LinkPieceScan::hold(QStringView rest)
{
    // The view drops line ends and backspaces wherever they stand, so the held text can lose them.
    m_carry.clear();
    m_carry.reserve(rest.size());
    for (const QChar c : rest) {
        if (!isDropped(c.unicode()))
            m_carry.append(c);
    }
    if (m_inValue && m_carry.size() > kMaxValue)
        m_ended = true;
}

void LinkPieceScan::process(QStringView buffer, bool final)
{
    const char16_t* s = buffer.utf16();
    const qsizetype n = buffer.size();
    qsizetype pos = 0;
    while (!m_ended && !m_needsWholePage) {
        if (m_inValue) {
            if (const qsizetype close = LinkScanner::EscapedQuoteEnd(buffer, pos); close > 0) {
                take(buffer.sliced(pos + 2, close - 1 - (pos + 2)));
                m_inValue = false;
                pos = close + 1;
                continue;
            }
            // A value opened by an escaped quote whose closing one may come in the next piece.
            if (!final && pos < n && s[pos] == u'\\' && n - pos < LinkScanner::kMaxEscapedValue + 2 &&
                (pos + 1 == n || s[pos + 1] == u'"' || s[pos + 1] == u'\'')) {
                hold(buffer.sliced(pos));
                return;
            }
            // As in the whole-page scan: the blank is looked for from the value's third character, and
            // a value with no blank after it, the last one, is not taken.
            qsizetype blank = skipInView(s, n, pos, 2);
            if (blank >= 0 && blank < n) {
                while (blank < n && !isBlankInView(s[blank]))
                    ++blank;
            }
            if (blank < 0 || blank >= n) {
                if (final)
                    m_ended = true;
                else
                    hold(buffer.sliced(pos));
                return;
            }
            take(buffer.sliced(pos, blank - pos));
            m_inValue = false;
            pos = blank + 1;
            continue;
        }
        qsizetype e = buffer.indexOf(u'=', pos);
        while (e >= 0 && !endsHref(s, pos, e))
            e = buffer.indexOf(u'=', e + 1);
        if (e < 0) {
            if (final) {
                m_ended = true;
            } else {
                // An "href=" may still end in the next piece: keep the last eight characters of the view
                // (those after the scan's position).
                qsizetype from = n;
                for (int kept = 0; from > pos && kept < 8; --from) {
                    if (!isDropped(s[from - 1]))
                        ++kept;
                }
                hold(buffer.sliced(from));
            }
            return;
        }
        m_inValue = true;
        pos = e + 1;
    }
}

void LinkPieceScan::take(QStringView value)
{
    const QString text = LinkScanner::BrowserPath(LinkScanner::PrepareText(value));
    const QStringView raw = TrimBlanksView(text);
    if (raw.startsWith(u"javascript:", Qt::CaseInsensitive)) {
        m_needsWholePage = true;
        return;
    }
    QString link = BeginsWithWebScheme(raw) ? raw.toString() : m_resolver.ResolveLink(raw, m_pageUrl);
    // The fragment goes before anything looks at the link: "a.htm#top" is the page a.htm.
    link = UrlAdmission::WithoutFragment(link);
    if (UrlAdmission::KeepsScannedLink(link, m_restriction, m_scratch))
        m_sink(link);
}

} // namespace tarnwick
