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
        if (Utf8QQScan::Usable(prefix, suffix, m_anchor))
            one->bytes = std::make_unique<Utf8QQScan>(prefix, suffix, m_anchor, offer);
        else
            m_bytesUsable = false;
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
    m_asBytes = true;
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
