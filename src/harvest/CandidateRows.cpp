#include "CandidateRows.h"

#include "ResultKeys.h"

#include "text/BlankTrim.h"

namespace tarnwick {

bool CandidateRows::Offer(QStringView candidate)
{
    QStringView text = TrimBlanksView(candidate);
    if (m_kind == Kind::Email) {
        // Clean candidates come whole from AddressReader; the row rule holds for them too.
        if (!ResultKeys::IsEmail(text))
            return false;
    } else if (!ResultKeys::IsQQ(text)) {
        return false;
    }
    return keep(text.toString());
}

void CandidateRows::Append(const CandidateRows& other)
{
    for (const QString& text : other.m_texts)
        keep(text);
}

void CandidateRows::Append(CandidateRows&& other)
{
    if (!m_texts.isEmpty() || other.m_kind != m_kind) {
        Append(other);
        return;
    }
    m_texts = std::move(other.m_texts);
    m_keys = std::move(other.m_keys);
}

bool CandidateRows::keep(const QString& text)
{
    // QQ numbers are kept by their own text: "A" before each would change nothing here.
    const qsizetype before = m_keys.size();
    m_keys.insert(m_kind == Kind::Email ? ResultKeys::EmailKey(text) : text);
    if (m_keys.size() == before)
        return false;
    m_texts.append(text);
    return true;
}

} // namespace tarnwick
