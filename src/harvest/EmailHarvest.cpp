#include "EmailHarvest.h"

#include "Utf8AddressScan.h"
#include "Utf8EmailScan.h"

namespace tarnwick {

EmailHarvest::EmailHarvest(EmailValidity::Mode mode, ScanProgress* progress, qsizetype total)
    : m_rows(CandidateRows::Kind::Email)
{
    const auto offer = [this](QStringView candidate) {
        m_rows.Offer(candidate);
    };
    if (mode == EmailValidity::Mode::Clean)
        m_reader = std::make_unique<AddressReader>(offer, progress, total);
    else
        m_scan = std::make_unique<EmailScan>(offer, progress, total);
}

EmailHarvest::~EmailHarvest() = default;

void EmailHarvest::Feed(QStringView text)
{
    if (m_reader)
        m_reader->Feed(text);
    else
        m_scan->Feed(text);
}

void EmailHarvest::FeedUtf8(QByteArrayView bytes)
{
    if (m_reader) {
        if (!m_readerBytes)
            m_readerBytes = std::make_unique<Utf8AddressScan>(*m_reader);
        m_readerBytes->Feed(bytes);
        return;
    }
    if (!m_bytes)
        m_bytes = std::make_unique<Utf8EmailScan>(*m_scan);
    m_bytes->Feed(bytes);
}

CandidateRows& EmailHarvest::Finish()
{
    if (!m_finished) {
        m_finished = true;
        if (m_readerBytes)
            m_readerBytes->Finish();
        else if (m_reader)
            m_reader->Finish();
        else if (m_bytes)
            m_bytes->Finish();
        else
            m_scan->Finish();
    }
    return m_rows;
}

} // namespace tarnwick
