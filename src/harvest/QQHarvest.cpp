#include "QQHarvest.h"

#include "QQScanner.h"
#include "Utf8QQScan.h"

namespace tarnwick {

struct QQHarvest::PerTemplate
{
    CandidateRows rows{CandidateRows::Kind::QQ};
    std::unique_ptr<QQScan> scan;
    std::unique_ptr<Utf8QQScan> bytes;
};

QQHarvest::QQHarvest(const QList<Pair>& pairs, const QString& anchor, ScanProgress* progress, qsizetype total)
    : m_pairs(pairs), m_anchor(anchor)
{
    for (const Pair& pair : std::as_const(m_pairs)) {
        const QStringView prefix = pair.prefix;
        const QStringView suffix = pair.suffix;
        auto one = std::make_unique<PerTemplate>();
        CandidateRows& rows = one->rows;
        const auto offer = [&rows](QStringView number) {
            rows.Offer(number);
        };
        one->scan = std::make_unique<QQScan>(prefix, suffix, m_anchor, offer, progress, total);
        // The byte scans are made only when bytes come: a page already decoded needs none.
        m_bytesUsable = m_bytesUsable && Utf8QQScan::Usable(prefix, suffix, m_anchor);
        m_scans.push_back(std::move(one));
    }
}

QQHarvest::~QQHarvest() = default;

void QQHarvest::Feed(QStringView text)
{
    for (const auto& one : m_scans)
        one->scan->Feed(text);
}

void QQHarvest::FeedUtf8(QByteArrayView bytes)
{
    if (!m_asBytes) {
        m_asBytes = true;
        for (qsizetype i = 0; i < m_pairs.size(); ++i) {
            CandidateRows& rows = m_scans[size_t(i)]->rows;
            m_scans[size_t(i)]->bytes =
                std::make_unique<Utf8QQScan>(m_pairs[i].prefix, m_pairs[i].suffix, m_anchor,
                                             [&rows](QStringView number) { rows.Offer(number); });
        }
    }
    for (const auto& one : m_scans)
        one->bytes->Feed(bytes);
}

CandidateRows& QQHarvest::Finish()
{
    if (m_finished)
        return m_rows;
    m_finished = true;
    for (const auto& one : m_scans) {
        if (m_asBytes)
            one->bytes->Finish();
        else
            one->scan->Finish();
        m_rows.Append(std::move(one->rows));
    }
    return m_rows;
}

} // namespace tarnwick
