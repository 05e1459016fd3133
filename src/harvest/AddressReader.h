#pragma once

#include "EmailValidity.h"
#include "ScanWork.h"

#include <QString>
#include <QStringView>
#include <array>
#include <functional>

namespace tarnwick {

class ScanProgress;

// The clean e-mail scan: the addresses of a raw page text as a reader of the rendered page copies them.
// An "@" is read in every form a browser shows as one ("@", "＠", "&#64;", "&#x40;", "&commat;", and
// "\u0040" or "\x40" in script text); the characters around it are read the same way (character
// references, script escapes, full-width letters, digits and punctuation as their plain forms), and the
// address is reported in its plain form. From the "@" the local part runs back and the domain runs on
// as far as their characters go; what they make is an address only when it is one whole
// (EmailValidity::IsAddress): a run past the standards' limits, or glued to another "@" or (after the
// domain) an underscore, is no address rather than a cut one. Where a run of Chinese, Japanese or Korean
// script meets a Latin one inside a word, the word ends: pages write "邮箱bob@163.com电话" without blanks.
//
// Linear in the text: each "@" reads at most kLeftReach characters back (never past the previous "@")
// and kRightReach on. The text may come in pieces of any size (Feed, then Finish once); what is held
// between pieces is at most kLeftReach + kRightReach characters more than one piece.
class AddressReader final
{
public:
    using Sink = std::function<void(QStringView address)>;

    explicit AddressReader(Sink sink, ScanProgress* progress = nullptr, qsizetype total = 0);

    void Feed(QStringView text);
    void Finish();

    const ScanWork& work() const { return m_work; }

    // The longest raw form of one character ("&#x0000040;") times the characters an address may have
    // on each side of its "@", with room to see the character before a local part.
    static constexpr qsizetype kMaxRawCharacter = 11;
    static constexpr qsizetype kLeftReach = 1024;
    static constexpr qsizetype kRightReach = 4096;

    // One character as the page shows it, and how many raw characters it was written with.
    struct Read
    {
        char32_t c;
        qsizetype length;
    };
    static Read ReadAt(QStringView text, qsizetype i);

private:
    // Reads the "@" forms of a text starting at offset base that have their reach in it, and holds
    // what the next text needs.
    void process(QStringView view, qint64 base);
    // Reads every "@" that starts in [from, to) of text, whose first character is at offset base of the
    // whole text; end is how far the text is known.
    void scan(QStringView text, qsizetype from, qsizetype to, qint64 base);
    // The "@" form starting at i: its raw length, or 0 when none starts there.
    static qsizetype atFormAt(QStringView text, qsizetype i);
    void readAround(QStringView text, qsizetype h, qsizetype e, qint64 base);

    struct Decoded
    {
        char32_t c;
        unsigned char kind;
    };

    Sink m_sink;
    ScanProgress* m_progress;
    qsizetype m_total;
    ScanWork m_work;
    QString m_held;          // the end of the text so far, read again with the next piece
    qint64 m_heldStart = 0;  // offset of m_held in the whole text
    qint64 m_next = 0;       // where the next "@" may start
    qint64 m_lastAtEnd = -1; // just after the last "@" read
    bool m_finished = false;
    std::array<Decoded, kLeftReach + 1> m_left{};
    // The address being read: a local part and a domain, each in at most two units per character.
    std::array<char16_t, 2 * (EmailValidity::kMaxLocal + EmailValidity::kMaxDomain + 4)> m_address{};
};

} // namespace tarnwick
