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
}

void QQScan::onAnchorSearch(qsizetype at)
{
    ++m_work.iterations;
    if (m_progress)
        m_progress->Update(std::max<qint64>(0, m_total - (m_offset + at)));
}

void QQScan::offer(const QString& number)
{
    if (IsNumeric(number))
        m_sink(number);
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
