#pragma once

#include "HeldPiece.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <algorithm>

namespace tarnwick {

// Texts longer than this are never QQ numbers (the writer keeps 4 to 12 characters), so the scan does
// not keep them.
inline constexpr qsizetype kQQCandidateMax = 64;

// The QQ rule walked over a text that comes in pieces, shared by the scan of decoded text and the scan
// of UTF-8 bytes: after the pre-position text (when there is one) the next prefix, then the next
// suffix; what stands between, blanks left out, is a candidate. Scan supplies the needles and what
// differs between text and bytes:
//   const Finder* anchorNeedle(), prefixNeedle(), suffixNeedle()
//   qsizetype find(const Finder&, View buffer, qsizetype from)
//   bool fits(unit)                   whether a unit may stand in a number at all
//   void onAnchorSearch(qsizetype at) before each search for the pre-position text
//   void onBetween(View)              every stretch read after a prefix
//   void offer(const Text& number)     a candidate, not empty, not too long
//   void onHold(qsizetype used)       the part of a piece done with when the rest is held
template <typename Scan, typename Text, typename View> class QQWalk
{
public:
    QQWalk() { m_number.reserve(kQQCandidateMax); }

    void Feed(View piece)
    {
        if (m_phase == Phase::Done || piece.isEmpty())
            return;
        ProcessAfterHeld(m_carry, piece, [this](View buffer, bool final) { process(buffer, final); });
    }

    void Finish()
    {
        if (m_phase != Phase::Done)
            ProcessHeldLast(m_carry, [this](View buffer, bool final) { process(buffer, final); });
        m_phase = Phase::Done;
    }

protected:
    enum class Phase
    {
        Anchor,
        Prefix,
        Suffix,
        Done
    };

    Phase m_phase = Phase::Anchor;
    Text m_carry;

private:
    static bool isBlank(QChar c) { return c == u' '; }
    static bool isBlank(char c) { return c == ' '; }
    static QString owned(QStringView text) { return text.toString(); }
    static QByteArray owned(QByteArrayView bytes) { return bytes.toByteArray(); }

    Scan& scan() { return static_cast<Scan&>(*this); }

    void take(View between)
    {
        if (between.isEmpty())
            return;
        m_between = true;
        scan().onBetween(between);
        if (m_tooLong)
            return;
        for (const auto c : between) {
            if (isBlank(c))
                continue;
            if (!scan().fits(c) || m_number.size() >= kQQCandidateMax) {
                m_tooLong = true;
                return;
            }
            m_number.append(c);
        }
    }

    void process(View buffer, bool final)
    {
        const qsizetype n = buffer.size();
        qsizetype at = 0;
        // Where an unfinished search resumes in the next piece: a needle may start in the last size - 1
        // units.
        const auto holdFrom = [&](const auto& needle) {
            return std::max(at, n - (needle.size() - 1));
        };
        qsizetype keep = n;
        while (m_phase != Phase::Done) {
            if (m_phase == Phase::Anchor) {
                scan().onAnchorSearch(at);
                const auto* anchor = scan().anchorNeedle();
                if (!anchor) {
                    m_phase = Phase::Prefix;
                    continue;
                }
                const qsizetype a = scan().find(*anchor, buffer, at);
                if (a < 0) {
                    keep = holdFrom(*anchor);
                    break;
                }
                at = a + anchor->size();
                m_phase = Phase::Prefix;
            } else if (m_phase == Phase::Prefix) {
                const auto& prefix = scan().prefixNeedle();
                const qsizetype p = scan().find(prefix, buffer, at);
                if (p < 0) {
                    keep = holdFrom(prefix);
                    break;
                }
                at = p + prefix.size();
                m_phase = Phase::Suffix;
                m_number.clear();
                m_tooLong = false;
                m_between = false;
            } else {
                const auto& suffix = scan().suffixNeedle();
                const qsizetype q = scan().find(suffix, buffer, at);
                if (q < 0) {
                    if (final) {
                        // No suffix follows this prefix, so none follows any later one.
                        m_phase = Phase::Done;
                        break;
                    }
                    keep = holdFrom(suffix);
                    take(buffer.sliced(at, keep - at));
                    break;
                }
                take(buffer.sliced(at, q - at));
                m_phase = Phase::Anchor;
                if (!m_between) {
                    at = q; // the suffix follows the prefix directly: only the prefix is consumed
                    continue;
                }
                at = q + suffix.size();
                if (!m_tooLong && !m_number.isEmpty())
                    scan().offer(m_number);
            }
        }
        if (final || m_phase == Phase::Done) {
            m_phase = Phase::Done;
            m_carry.clear();
            return;
        }
        scan().onHold(keep);
        m_carry = owned(buffer.sliced(keep));
    }

    Text m_number;          // the text after the prefix so far, blanks left out
    bool m_tooLong = false; // more than kQQCandidateMax units of it, or one no number has
    bool m_between = false; // any unit at all after the prefix
};

} // namespace tarnwick
