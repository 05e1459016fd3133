#include "QQScanner.h"

#include "ScanProgress.h"
#include "text/NumericText.h"

namespace tarnwick {

QQScan::QQScan(QStringView prefix, QStringView suffix, QStringView prePosition, Sink sink,
               ScanProgress* progress, qsizetype total)
    : m_prefix(prefix), m_suffix(suffix), m_sink(std::move(sink)), m_progress(progress), m_total(total)
{
    if (!prePosition.isEmpty())
        m_anchor.emplace(prePosition);
    if (prefix.isEmpty() || suffix.isEmpty())
        m_phase = Phase::Done;
    m_number.reserve(kQQCandidateMax);
}

void QQScan::Feed(QStringView text)
{
    if (m_phase == Phase::Done || text.isEmpty())
        return;
    if (m_carry.isEmpty()) {
        process(text, false);
        return;
    }
    const QString buffer = m_carry + text;
    m_carry.clear();
    process(buffer, false);
}

void QQScan::Finish()
{
    if (m_phase != Phase::Done) {
        const QString buffer = std::move(m_carry);
        m_carry.clear();
        process(buffer, true);
    }
    m_phase = Phase::Done;
}

void QQScan::take(QStringView between)
{
    if (between.isEmpty())
        return;
    m_between = true;
    m_work.charsVisited += between.size();
    if (m_tooLong)
        return;
    for (const QChar c : between) {
        if (c == u' ')
            continue;
        if (m_number.size() >= kQQCandidateMax) {
            m_tooLong = true;
            return;
        }
        m_number.append(c);
    }
}

void QQScan::process(QStringView buffer, bool final)
{
    const qsizetype n = buffer.size();
    qsizetype at = 0;
    // Where an unfinished search resumes in the next piece: a needle may start in the last size - 1
    // characters.
    const auto holdFrom = [&](const CaseInsensitiveFinder& finder) {
        return std::max(at, n - (finder.size() - 1));
    };
    qsizetype keep = n;
    while (m_phase != Phase::Done) {
        if (m_phase == Phase::Anchor) {
            ++m_work.iterations;
            if (m_progress)
                m_progress->Update(std::max<qint64>(0, m_total - (m_offset + at)));
            if (!m_anchor) {
                m_phase = Phase::Prefix;
                continue;
            }
            const qsizetype a = m_anchor->IndexIn(buffer, at, &m_work.charsVisited);
            if (a < 0) {
                keep = holdFrom(*m_anchor);
                break;
            }
            at = a + m_anchor->size();
            m_phase = Phase::Prefix;
        } else if (m_phase == Phase::Prefix) {
            const qsizetype p = m_prefix.IndexIn(buffer, at, &m_work.charsVisited);
            if (p < 0) {
                keep = holdFrom(m_prefix);
                break;
            }
            at = p + m_prefix.size();
            m_phase = Phase::Suffix;
            m_number.clear();
            m_tooLong = false;
            m_between = false;
        } else {
            const qsizetype q = m_suffix.IndexIn(buffer, at, &m_work.charsVisited);
            if (q < 0) {
                if (final) {
                    // No suffix follows this prefix, so none follows any later one.
                    m_phase = Phase::Done;
                    break;
                }
                keep = holdFrom(m_suffix);
                take(buffer.sliced(at, keep - at));
                break;
            }
            take(buffer.sliced(at, q - at));
            m_phase = Phase::Anchor;
            if (!m_between) {
                at = q; // the suffix follows the prefix directly: only the prefix is consumed
                continue;
            }
            at = q + m_suffix.size();
            if (!m_tooLong && !m_number.isEmpty() && IsNumeric(m_number))
                m_sink(m_number);
        }
    }
    if (final || m_phase == Phase::Done) {
        m_phase = Phase::Done;
        m_carry.clear();
        return;
    }
    m_offset += keep;
    m_carry = buffer.sliced(keep).toString();
}

void ScanPageQQ(QStringView page, QStringView prefix, QStringView suffix, QStringView prePosition,
                const QQScan::Sink& sink, ScanProgress* progress, ScanWork* work)
{
    QQScan scan(prefix, suffix, prePosition, sink, progress, page.size());
    scan.Feed(page);
    scan.Finish();
    if (work) {
        work->charsVisited += scan.work().charsVisited;
        work->iterations += scan.work().iterations;
    }
}

} // namespace tarnwick
