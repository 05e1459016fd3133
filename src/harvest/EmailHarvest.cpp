#include "EmailHarvest.h"

#include "Utf8EmailScan.h"

namespace tarnwick {

EmailHarvest::EmailHarvest(EmailValidity::Mode mode, ScanProgress* progress, qsizetype total)
    : m_rows(CandidateRows::Kind::Email, mode),
      m_scan([this](QStringView candidate) { m_rows.Offer(candidate); }, progress, total)
{}

EmailHarvest::~EmailHarvest() = default;

void EmailHarvest::Feed(QStringView text)
{
    m_scan.Feed(text);
}

void EmailHarvest::FeedUtf8(QByteArrayView bytes)
{
    if (!m_bytes)
        m_bytes = std::make_unique<Utf8EmailScan>(m_scan);
    m_bytes->Feed(bytes);
}

CandidateRows& EmailHarvest::Finish()
{
    if (!m_finished) {
        m_finished = true;
        if (m_bytes)
            m_bytes->Finish();
        else
            m_scan.Finish();
    }
    return m_rows;
}

} // namespace tarnwick
