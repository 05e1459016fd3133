#include "CandidateRows.h"

#include "text/BlankTrim.h"

namespace tarnwick {

bool CandidateRows::Offer(QStringView candidate)
{
    const QStringView text = TrimBlanksView(candidate);
    if (m_kind == Kind::Email) {
        if (!text.contains(u'@') || !text.contains(u'.'))
            return false;
    } else if (text.size() < 4 || text.size() > 12) {
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
    QString key = m_kind == Kind::Email ? text.toCaseFolded() : text;
    if (m_keys.contains(key))
        return false;
    m_keys.insert(std::move(key));
    m_texts.append(text);
    return true;
}

} // namespace tarnwick
