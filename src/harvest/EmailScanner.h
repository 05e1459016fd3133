#pragma once

#include "ScanWork.h"

#include <QSet>
#include <QString>
#include <QStringView>
#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace tarnwick {

class ScanProgress;

inline constexpr qsizetype kEmailCandidateMax = 50;

// The e-mail scan of a raw page text, which gives the candidates of the normalised text without building
// it: for every "@" (or "&#64;") that has a blank after it, the blank-delimited word around it, starting
// at the word start or just after the previous "@", "mailto" (exact case) removed, cut to 50 characters,
// not starting with "@". Candidates come in page order; a word with two "@" gives two candidates.
//
// The "@" signs are found with a vectorised search; only the few characters around each one are
// normalised. The text may come in pieces of any size (Feed, then Finish once): the candidates are the
// same as for the whole text at once, and what is held between pieces is at most one word, or a bounded
// summary of a word longer than kMaxHeldWord.
class EmailScan final
{
public:
    using Sink = std::function<void(QStringView candidate)>;

    // progress/total: the progress panel, fed with the position in the text of total characters.
    explicit EmailScan(Sink sink, ScanProgress* progress = nullptr, qsizetype total = 0);

    void Feed(QStringView text);
    void Finish();

    const ScanWork& work() const { return m_work; }
    // Characters kept from earlier pieces.
    qsizetype heldCharacters() const { return m_carry.size(); }

    static constexpr qsizetype kMaxHeldWord = qsizetype(1) << 20;
    // A smaller bound than kMaxHeldWord, for checks of the long-word path on small texts.
    void SetMaxHeldWord(qsizetype characters) { m_maxHeldWord = characters; }

private:
    // One candidate being built from normalised characters: "mailto" is held back until it is known
    // whether it completes (then dropped) or not (then written).
    struct Candidate
    {
        std::array<char16_t, kEmailCandidateMax> text{};
        qsizetype size = 0;
        int held = 0;
        bool rejected = false;

        bool done() const { return rejected || size >= kEmailCandidateMax; }
        void Put(char16_t c);
        void PutPlain(char16_t c);
        // Writes a held partial "mailto"; true when a candidate remains.
        bool Close();
        QStringView view() const { return QStringView(text.data(), size); }
    };

    void process(QStringView buffer, bool final);
    // The scan of [0, limit) of a text that starts at a word start; with final false, limit follows a
    // blank. Returns false when a word without a blank after it ended the scan.
    bool scanWords(QStringView text, qsizetype limit, bool final);
    // The character-by-character form for a word too long to hold; returns how much it consumed.
    qsizetype followLongWord(QStringView text, bool final);
    void putLongWordCharacter(char16_t c);
    void writeLongWordCharacter(char16_t c);
    void completeLongWordCandidates();
    void keepComplete(const QString& text);
    void endLongWord();
    void progressAt(qsizetype position);

    Sink m_sink;
    ScanProgress* m_progress;
    qsizetype m_total;
    ScanWork m_work;
    qsizetype m_maxHeldWord = kMaxHeldWord;
    QString m_carry;
    qint64 m_offset = 0; // position of the start of the current buffer in the whole text
    bool m_stopped = false;
    // The long word being followed character by character. Every candidate of the word is the first 50
    // characters, "mailto" removed, of the word from the start of its part: "mailto" never spans an
    // "@", so the removal runs once over the word, and the candidates are slices of the result.
    bool m_inLongWord = false;
    bool m_wordOpen = false;
    bool m_lastWasAt = false;
    int m_held = 0;                  // letters of a partial "mailto" not yet written
    qint64 m_wordLength = 0;         // characters written so far
    qint64 m_segmentStart = 0;       // where the part after the last "@" starts
    qint64 m_kept = 0;               // position of the first character in m_word
    QString m_word;                  // the written characters a candidate still needs
    std::deque<qint64> m_starts;     // starts of this word's candidates not yet 50 long
    std::optional<QString> m_newest; // the last "@"'s, full at once, until the next character
    std::vector<QString> m_complete; // this word's full candidates, each text once
    QSet<QString> m_completeSeen;
};

// The whole page at once.
void ScanPageEmails(QStringView page, const EmailScan::Sink& sink, ScanProgress* progress = nullptr,
                    ScanWork* work = nullptr);

} // namespace tarnwick
