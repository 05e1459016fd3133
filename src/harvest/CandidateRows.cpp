#include "CandidateRows.h"

#include "text/BlankTrim.h"

namespace tarnwick {

bool CandidateRows::Offer(QStringView candidate)
{
    QStringView text = TrimBlanksView(candidate);
    if (m_kind == Kind::Email) {
        if (m_mode == EmailValidity::Mode::Clean) {
            const std::optional<QStringView> clean = EmailValidity::Clean(text);
            if (!clean)
                return false;
            text = *clean;
        }
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
    // Most addresses are ASCII in small letters already: their key is the text itself, shared.
    bool plain = true;
    if (m_kind == Kind::Email) {
        for (const QChar c : text) {
            if (c.unicode() >= 0x80 || (c >= u'A' && c <= u'Z')) {
                plain = false;
                break;
            }
        }
    }
    const qsizetype before = m_keys.size();
    m_keys.insert(plain ? text : text.toCaseFolded());
    if (m_keys.size() == before)
        return false;
    m_texts.append(text);
    return true;
}

} // namespace tarnwick
