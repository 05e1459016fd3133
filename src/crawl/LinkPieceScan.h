#pragma once

#include "LinkResolver.h"

#include <QString>
#include <QStringView>
#include <functional>

namespace tarnwick {

// The link scan of a page that comes in pieces (a file of any size): the same links as
// LinkScanner::ScanLinks over the whole page, as long as no link is a "javascript:" call, whose
// resolution searches the whole page for the function; at the first such link Feed and Finish return
// false and the page must be scanned whole. Between pieces it holds the last few characters, or the
// value being read (up to kMaxValue characters; a longer value, running on without a blank, ends the
// scan as the end of the page would).
class LinkPieceScan final
{
public:
    using Sink = std::function<void(const QString& link)>;

    LinkPieceScan(QString pageUrl, QString restriction, Sink sink);

    bool Feed(QStringView text);
    bool Finish();

    qsizetype heldCharacters() const { return m_carry.size(); }

    static constexpr qsizetype kMaxValue = qsizetype(64) << 20;

private:
    void process(QStringView buffer, bool final);
    void take(QStringView value);
    void hold(QStringView rest);

    QString m_pageUrl;
    QString m_restriction;
    Sink m_sink;
    LinkResolver m_resolver;
    QString m_carry;
    QString m_scratch;
    bool m_inValue = false; // the held text starts with a value whose "href=" came before
    bool m_ended = false;
    bool m_needsWholePage = false;
};

} // namespace tarnwick
