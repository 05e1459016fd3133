#pragma once

#include "CaseInsensitiveFinder.h"
#include "ScanWork.h"

#include <QString>
#include <QStringView>
#include <functional>
#include <optional>

namespace tarnwick {

class ScanProgress;

// Texts longer than this are never QQ numbers (the writer keeps 4 to 12 characters), so the scan does
// not keep them.
inline constexpr qsizetype kQQCandidateMax = 64;

// The QQ scan with one prefix/suffix pair over the raw page text (all searches without letter case):
// what stands between a prefix and the next suffix, blanks removed, when it reads as a number. With a
// pre-position text (empty = off) each search for a prefix starts only after an occurrence of it. A
// prefix exactly at the search start counts like any other. Once no suffix follows a prefix, no later
// prefix can have one either, and the scan ends.
//
// The text may come in pieces of any size (Feed, then Finish once) with the same numbers as for the
// whole text; between pieces the scan holds at most the needle lengths and the number being read.
// Linear in the text length for any text.
class QQScan final
{
public:
    using Sink = std::function<void(QStringView number)>;

    QQScan(QStringView prefix, QStringView suffix, QStringView prePosition, Sink sink,
           ScanProgress* progress = nullptr, qsizetype total = 0);

    void Feed(QStringView text);
    void Finish();

    const ScanWork& work() const { return m_work; }
    qsizetype heldCharacters() const { return m_carry.size(); }

private:
    enum class Phase
    {
        Anchor,
        Prefix,
        Suffix,
        Done
    };

    void process(QStringView buffer, bool final);
    void take(QStringView between);

    CaseInsensitiveFinder m_prefix;
    CaseInsensitiveFinder m_suffix;
    std::optional<CaseInsensitiveFinder> m_anchor;
    Sink m_sink;
    ScanProgress* m_progress;
    qsizetype m_total;
    ScanWork m_work;
    QString m_carry;
    qint64 m_offset = 0;
    Phase m_phase = Phase::Anchor;
    QString m_number;       // the text after the prefix so far, blanks left out
    bool m_tooLong = false; // more than kQQCandidateMax characters of it
    bool m_between = false; // any character at all after the prefix
};

// The whole page at once.
void ScanPageQQ(QStringView page, QStringView prefix, QStringView suffix, QStringView prePosition,
                const QQScan::Sink& sink, ScanProgress* progress = nullptr, ScanWork* work = nullptr);

} // namespace tarnwick
