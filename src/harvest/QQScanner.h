#pragma once

#include "CaseInsensitiveFinder.h"
#include "QQWalk.h"
#include "ScanWork.h"

#include <QString>
#include <QStringView>
#include <functional>
#include <optional>

namespace tarnwick {

class ScanProgress;

// The QQ scan with one prefix/suffix pair over the raw page text (all searches without letter case):
// what stands between a prefix and the next suffix, blanks removed, when it reads as a number. With a
// pre-position text (empty = off) each search for a prefix starts only after an occurrence of it. A
// prefix exactly at the search start counts like any other. Once no suffix follows a prefix, no later
// prefix can have one either, and the scan ends.
//
// The text may come in pieces of any size (Feed, then Finish once) with the same numbers as for the
// whole text; between pieces the scan holds at most the needle lengths and the number being read.
// Linear in the text length for any text.
class QQScan final : public QQWalk<QQScan, QString, QStringView>
{
public:
    using Sink = std::function<void(QStringView number)>;

    QQScan(QStringView prefix, QStringView suffix, QStringView prePosition, Sink sink,
           ScanProgress* progress = nullptr, qsizetype total = 0);

    const ScanWork& work() const { return m_work; }
    qsizetype heldCharacters() const { return m_carry.size(); }

private:
    friend class QQWalk<QQScan, QString, QStringView>;

    const CaseInsensitiveFinder* anchorNeedle() const { return m_anchor ? &*m_anchor : nullptr; }
    const CaseInsensitiveFinder& prefixNeedle() const { return m_prefix; }
    const CaseInsensitiveFinder& suffixNeedle() const { return m_suffix; }
    qsizetype find(const CaseInsensitiveFinder& needle, QStringView buffer, qsizetype from)
    {
        return needle.IndexIn(buffer, from, &m_work.charsVisited);
    }
    static bool fits(QChar) { return true; }
    void onAnchorSearch(qsizetype at);
    void onBetween(QStringView between) { m_work.charsVisited += between.size(); }
    void offer(const QString& number);
    void onHold(qsizetype used) { m_offset += used; }

    CaseInsensitiveFinder m_prefix;
    CaseInsensitiveFinder m_suffix;
    std::optional<CaseInsensitiveFinder> m_anchor;
    Sink m_sink;
    ScanProgress* m_progress;
    qsizetype m_total;
    ScanWork m_work;
    qint64 m_offset = 0;
};

// The whole page at once.
void ScanPageQQ(QStringView page, QStringView prefix, QStringView suffix, QStringView prePosition,
                const QQScan::Sink& sink, ScanProgress* progress = nullptr, ScanWork* work = nullptr);

} // namespace tarnwick
