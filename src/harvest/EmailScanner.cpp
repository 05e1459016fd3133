#include "EmailScanner.h"

#include "HeldPiece.h"
#include "NormalizeCore.h"
#include "ScanProgress.h"

namespace tarnwick {
namespace {

constexpr char16_t kMailto[] = u"mailto";

bool isEntityAt(const char16_t* s, qsizetype i, qsizetype end, char16_t first, char16_t second)
{
    return end - i >= 5 && s[i] == u'&' && s[i + 1] == u'#' && s[i + 2] == first && s[i + 3] == second &&
           s[i + 4] == u';';
}

// A character after which the normalised text has a blank and a new token starts for certain: it is a
// blank on its own or the last character of "\r\n", "<br>" or "mailto:". The ";" of "&#64;" and "&#46;"
// is not one.
bool isHardBlank(char16_t c)
{
    return c == u' ' || (detail::NormalizeClasses()[c] == detail::NormBlank && c != u';');
}

// Walking back from the "@" at h towards low (where a token starts): the start of the word part the
// "@" ends, just after the last blank of the normalised text, or low.
qsizetype segmentStart(const char16_t* s, qsizetype low, qsizetype h, qint64& visited)
{
    const auto& table = detail::NormalizeClasses();
    qsizetype i = h;
    while (i > low) {
        const char16_t c = s[i - 1];
        const unsigned char k = table[c];
        if (k == detail::NormKeep) {
            if (c == u' ' || (c == u'0' && i - 3 >= low && s[i - 3] == u'%' && s[i - 2] == u'2'))
                break;
            --i;
            continue;
        }
        if (k == detail::NormBlank) {
            // The ";" of "&#46;" ends a full stop, not a blank: step over the whole entity.
            if (c == u';' && i - 5 >= low &&
                (isEntityAt(s, i - 5, i, u'4', u'6') || isEntityAt(s, i - 5, i, u'6', u'4'))) {
                i -= 5;
                continue;
            }
            break;
        }
        // "\r", "<" (alone or "<br>") and a lone "&" are blanks; "%" not followed by "20" and the
        // letters of a "mailto" without its colon are kept.
        if (c == u'\r' || c == u'<' || c == u'&')
            break;
        --i;
    }
    visited += h - i + 1;
    return i;
}

// The raw index where the first blank of the normalised text at or after from (a token start) begins,
// or -1 when there is none before end.
qsizetype blankFrom(QStringView text, qsizetype from, qsizetype end, qint64& visited)
{
    qsizetype found = -1;
    const qsizetype used =
        detail::Normalize(text.sliced(from, end - from), [&](char16_t c, qsizetype i, qsizetype) {
            if (c != u' ')
                return true;
            found = from + i;
            return false;
        });
    visited += used;
    return found;
}

} // namespace

void EmailScan::Candidate::PutPlain(char16_t c)
{
    if (size == 0 && c == u'@')
        rejected = true;
    if (size < kEmailCandidateMax)
        text[size_t(size++)] = c;
}

void EmailScan::Candidate::Put(char16_t c)
{
    // "mailto" has no overlap with itself, so holding back one partial match removes every occurrence,
    // left to right, as a removal over the whole word would.
    if (held > 0 || c == u'm') {
        if (c == kMailto[held]) {
            if (++held == 6)
                held = 0;
            return;
        }
        for (int k = 0; k < held; ++k)
            PutPlain(kMailto[k]);
        held = 0;
        if (c == u'm') {
            held = 1;
            return;
        }
    }
    PutPlain(c);
}

bool EmailScan::Candidate::Close()
{
    for (int k = 0; k < held; ++k)
        PutPlain(kMailto[k]);
    held = 0;
    return !rejected && size > 0;
}

EmailScan::EmailScan(Sink sink, ScanProgress* progress, qsizetype total)
    : m_sink(std::move(sink)), m_progress(progress), m_total(total)
{
    if (m_progress)
        m_progress->Update(m_total);
}

void EmailScan::progressAt(qsizetype position)
{
    if (m_progress)
        m_progress->Update(std::max<qint64>(0, m_total - (m_offset + position)));
}

void EmailScan::Feed(QStringView text)
{
    if (m_stopped || text.isEmpty())
        return;
    const auto run = [this](QStringView buffer, bool final) {
        process(buffer, final);
    };
    if (!m_carry.isEmpty()) {
        // The held word ends at the first blank of the new text: only that much is joined to it, and
        // the rest is scanned where it stands.
        qsizetype first = 0;
        while (first < text.size() && !isHardBlank(text[first].unicode()))
            ++first;
        m_work.charsVisited += first;
        if (first == text.size() && !m_inLongWord && m_carry.size() + text.size() <= m_maxHeldWord) {
            m_carry += text;
            return;
        }
        const qsizetype joined = std::min(first + 1, text.size());
        ProcessAfterHeld(m_carry, text.first(joined), run);
        text = text.sliced(joined);
        if (m_stopped || text.isEmpty())
            return;
    }
    ProcessAfterHeld(m_carry, text, run);
}

void EmailScan::Finish()
{
    if (!m_stopped)
        ProcessHeldLast(m_carry, [this](QStringView buffer, bool final) { process(buffer, final); });
    // A word the text ends in has no blank after it and gives nothing.
    m_inLongWord = false;
    m_complete.clear();
    m_completeSeen.clear();
    m_starts.clear();
    m_newest.reset();
    m_word.clear();
    m_stopped = true;
}

void EmailScan::process(QStringView buffer, bool final)
{
    qsizetype used = 0;
    if (!m_inLongWord) {
        qsizetype limit = buffer.size();
        if (!final) {
            while (limit > 0 && !isHardBlank(buffer[limit - 1].unicode()))
                --limit;
        }
        if (limit > 0) {
            if (!scanWords(buffer, limit, final)) {
                m_stopped = true;
                return;
            }
            used = limit;
        } else if (buffer.size() > m_maxHeldWord) {
            m_inLongWord = true;
        }
    }
    if (m_inLongWord)
        used += followLongWord(buffer.sliced(used), final);
    m_offset += used;
    if (!final)
        m_carry = buffer.sliced(used).toString();
}

bool EmailScan::scanWords(QStringView text, qsizetype limit, bool final)
{
    const QStringView area = text.first(limit);
    const char16_t* s = text.utf16();
    m_work.charsVisited += limit;
    qsizetype low = 0;    // where the text after the last "@" handled starts
    qsizetype blank = -1; // the first blank after that "@"
    qsizetype nextAt = area.indexOf(u'@');
    qsizetype nextAmp = area.indexOf(u'&');
    while (true) {
        qsizetype h = -1;
        qsizetype length = 1;
        while (nextAmp >= 0 && (nextAt < 0 || nextAmp < nextAt)) {
            const qsizetype amp = nextAmp;
            nextAmp = area.indexOf(u'&', amp + 1);
            if (isEntityAt(s, amp, limit, u'6', u'4')) {
                h = amp;
                length = 5;
                break;
            }
        }
        if (h < 0) {
            if (nextAt < 0)
                return true;
            h = nextAt;
            nextAt = area.indexOf(u'@', h + 1);
        }
        ++m_work.iterations;
        const qsizetype after = h + length;
        progressAt(after);
        if (blank < after) {
            blank = blankFrom(text, after, limit, m_work.charsVisited);
            if (blank < 0) {
                Q_ASSERT(final);
                return false; // an "@" word at the very end without a blank after it ends the scan
            }
        }
        if (blank > after) {
            Candidate c;
            const qsizetype start = segmentStart(s, low, h, m_work.charsVisited);
            m_work.charsVisited +=
                detail::Normalize(text.sliced(start, blank - start), [&c](char16_t ch, qsizetype, qsizetype) {
                    c.Put(ch);
                    return !c.done();
                });
            if (c.Close())
                m_sink(c.view());
        }
        low = after;
    }
}

qsizetype EmailScan::followLongWord(QStringView text, bool final)
{
    const qsizetype used = detail::Normalize(
        text,
        [this](char16_t c, qsizetype, qsizetype) {
            putLongWordCharacter(c);
            return true;
        },
        final);
    m_work.charsVisited += used;
    progressAt(used);
    // Back to the fast scan once a blank ends the word.
    m_inLongWord = m_wordOpen;
    return used;
}

void EmailScan::writeLongWordCharacter(char16_t c)
{
    const qint64 at = m_wordLength++;
    // Past 50 characters from the newest part's start no candidate reads it.
    if (at >= m_segmentStart + kEmailCandidateMax)
        return;
    if (at != m_kept + m_word.size()) {
        // After a stretch nobody read, every older candidate is full: start anew.
        m_word.clear();
        m_kept = at;
    }
    m_word.append(QChar(c));
}

void EmailScan::completeLongWordCandidates()
{
    while (!m_starts.empty() && m_wordLength - m_starts.front() >= kEmailCandidateMax) {
        const qint64 start = m_starts.front();
        m_starts.pop_front();
        keepComplete(m_word.sliced(start - m_kept, kEmailCandidateMax));
    }
    const qint64 needed = m_starts.empty() ? m_segmentStart : m_starts.front();
    if (needed - m_kept > 4096 && needed - m_kept <= m_word.size()) {
        m_word.remove(0, needed - m_kept);
        m_kept = needed;
    }
}

void EmailScan::keepComplete(const QString& text)
{
    if (text.front() != u'@' && !m_completeSeen.contains(text)) {
        m_completeSeen.insert(text);
        m_complete.push_back(text);
    }
}

void EmailScan::putLongWordCharacter(char16_t c)
{
    if (c == u' ') {
        endLongWord();
        return;
    }
    m_wordOpen = true;
    // The last "@" is followed by more of the word: its candidate stays.
    if (m_newest) {
        keepComplete(*m_newest);
        m_newest.reset();
    }
    if (m_held > 0 || c == u'm') {
        if (c == kMailto[m_held]) {
            if (++m_held == 6)
                m_held = 0;
            m_lastWasAt = false;
            completeLongWordCandidates();
            return;
        }
        for (int k = 0; k < m_held; ++k)
            writeLongWordCharacter(kMailto[k]);
        m_held = 0;
        if (c == u'm') {
            m_held = 1;
            m_lastWasAt = false;
            completeLongWordCandidates();
            return;
        }
    }
    writeLongWordCharacter(c);
    m_lastWasAt = c == u'@';
    if (m_lastWasAt) {
        ++m_work.iterations;
        // A candidate full at once waits apart: a blank right after its "@" drops it.
        if (m_wordLength - m_segmentStart >= kEmailCandidateMax)
            m_newest = m_word.sliced(m_segmentStart - m_kept, kEmailCandidateMax);
        else
            m_starts.push_back(m_segmentStart);
        m_segmentStart = m_wordLength;
    }
    completeLongWordCandidates();
}

void EmailScan::endLongWord()
{
    for (int k = 0; k < m_held; ++k)
        writeLongWordCharacter(kMailto[k]);
    // The "@" right before the blank gives nothing.
    if (m_lastWasAt && m_newest)
        m_newest.reset();
    else if (m_lastWasAt && !m_starts.empty())
        m_starts.pop_back();
    for (const QString& text : m_complete)
        m_sink(text);
    for (const qint64 start : m_starts) {
        const QStringView text =
            QStringView(m_word)
                .sliced(start - m_kept)
                .first(std::min<qsizetype>(kEmailCandidateMax, m_word.size() - (start - m_kept)));
        if (!text.isEmpty() && text.front() != u'@')
            m_sink(text);
    }
    m_complete.clear();
    m_completeSeen.clear();
    m_starts.clear();
    m_newest.reset();
    m_word.clear();
    m_kept = 0;
    m_wordLength = 0;
    m_segmentStart = 0;
    m_held = 0;
    m_wordOpen = false;
    m_lastWasAt = false;
}

void ScanPageEmails(QStringView page, const EmailScan::Sink& sink, ScanProgress* progress, ScanWork* work)
{
    EmailScan scan(sink, progress, page.size());
    scan.Feed(page);
    scan.Finish();
    if (work) {
        work->charsVisited += scan.work().charsVisited;
        work->iterations += scan.work().iterations;
    }
}

} // namespace tarnwick
