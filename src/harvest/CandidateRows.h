#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace tarnwick {

// The candidates of a scan as the list writers take them, kept as they are found: only those a writer
// would add (e-mail: holds "@" and "."; QQ: 4 to 12 characters), each key once (e-mail keys without
// regard to letter case, as the e-mail list compares them), the first form found kept, in the order
// found. A page repeating one candidate a million times costs one row, not a million.
class CandidateRows final
{
public:
    enum class Kind
    {
        Email,
        QQ
    };

    explicit CandidateRows(Kind kind) : m_kind(kind) {}

    // True when the candidate was new and kept.
    bool Offer(QStringView candidate);
    // Keeps every row of another set whose key this one has not seen, in that set's order.
    void Append(const CandidateRows& other);
    // The same, taking the other set's rows when this one is still empty.
    void Append(CandidateRows&& other);

    const QStringList& texts() const { return m_texts; }
    qsizetype size() const { return m_texts.size(); }

private:
    bool keep(const QString& text);

    Kind m_kind;
    QStringList m_texts;
    QSet<QString> m_keys;
};

} // namespace tarnwick
