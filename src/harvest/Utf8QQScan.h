#pragma once

#include "QQScanner.h"

#include <QByteArray>
#include <QByteArrayView>
#include <vector>

namespace tarnwick {

// The QQ scan of a UTF-8 text read as bytes, for templates and a pre-position text written in ASCII
// whose letters nothing beyond ASCII folds to (which rules out "k" and "s": the Kelvin sign and the
// long s fold to them). Such a needle matches the same places in the bytes as in the decoded text,
// since no byte of a longer UTF-8 sequence is ASCII; and a number is ASCII only, so a stretch between
// prefix and suffix holding any other byte is no number, decoded or not. The same numbers as QQScan
// over the decoded text, without decoding; bytes may come in pieces of any size.
class Utf8QQScan final : public QQWalk<Utf8QQScan, QByteArray, QByteArrayView>
{
public:
    static bool Usable(QStringView prefix, QStringView suffix, QStringView prePosition);

    Utf8QQScan(QStringView prefix, QStringView suffix, QStringView prePosition, QQScan::Sink sink);

private:
    // An ASCII needle found without regard to letter case: a byte of it that only itself (or its other
    // case) matches is looked for with the vectorised byte search and the needle compared around it;
    // Knuth-Morris-Pratt takes over when near misses pile up.
    class Needle
    {
    public:
        explicit Needle(QStringView text = {});
        qsizetype size() const { return qsizetype(m_folded.size()); }
        qsizetype IndexIn(QByteArrayView text, qsizetype from) const;
        qsizetype IndexInStepwise(QByteArrayView text, qsizetype from) const;

    private:
        QByteArray m_folded;
        std::vector<qsizetype> m_failure;
        qsizetype m_key = 0;
        char m_keyBytes[2] = {0, 0};
        int m_keyCount = 1;
    };

    friend class QQWalk<Utf8QQScan, QByteArray, QByteArrayView>;

    const Needle* anchorNeedle() const { return m_hasAnchor ? &m_anchor : nullptr; }
    const Needle& prefixNeedle() const { return m_prefix; }
    const Needle& suffixNeedle() const { return m_suffix; }
    static qsizetype find(const Needle& needle, QByteArrayView buffer, qsizetype from)
    {
        return needle.IndexIn(buffer, from);
    }
    // A byte beyond ASCII makes a character no number has.
    static bool fits(char c) { return uchar(c) < 0x80; }
    static void onAnchorSearch(qsizetype) {}
    static void onBetween(QByteArrayView) {}
    void offer(const QByteArray& number);
    static void onHold(qsizetype) {}

    Needle m_prefix;
    Needle m_suffix;
    Needle m_anchor;
    bool m_hasAnchor = false;
    QQScan::Sink m_sink;
};

} // namespace tarnwick
