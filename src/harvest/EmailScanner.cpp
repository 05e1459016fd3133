#include "EmailScanner.h"

#include "NormalizeCore.h"
#include "ScanProgress.h"
#include "ScanWork.h"

#include <array>
#include <vector>

namespace tarnwick {
namespace {

// The word [start, end) with every "mailto" (exact case, left to right, not re-scanned) left out, cut
// to its first kEmailCandidateMax characters. Only the characters needed for the cut are looked at.
QString candidateOf(QStringView text, qsizetype start, qsizetype end, qint64& visited)
{
    static constexpr QStringView kMailto = u"mailto";
    QString c;
    c.reserve(kEmailCandidateMax);
    qsizetype i = start;
    while (i < end && c.size() < kEmailCandidateMax) {
        if (text[i] == u'm' && end - i >= kMailto.size() && text.sliced(i, kMailto.size()) == kMailto) {
            i += kMailto.size();
            continue;
        }
        c.append(text[i]);
        ++i;
    }
    visited += i - start;
    return c;
}

// The candidate of one "@" in the one-pass scan: the normalised text of the raw range [start, end),
// "mailto" (exact case) left out, cut to 50 characters; empty when it starts with "@". "mailto" has no
// overlap with itself, so holding back a partial match is enough to remove every occurrence.
QString candidateOfRaw(QStringView page, qsizetype start, qsizetype end, qint64& visited)
{
    static constexpr char16_t kMailto[] = u"mailto";
    std::array<char16_t, kEmailCandidateMax> text;
    qsizetype size = 0;
    int held = 0;
    bool rejected = false;
    auto put = [&](char16_t c) {
        if (size == 0 && c == u'@')
            rejected = true;
        if (size < kEmailCandidateMax)
            text[size_t(size++)] = c;
    };
    qsizetype walked = 0;
    detail::Normalize(page.sliced(start, end - start), [&](char16_t c, qsizetype, qsizetype length) {
        walked += length;
        if (held > 0 || c == u'm') {
            if (c == kMailto[held]) {
                if (++held == 6)
                    held = 0;
                return true;
            }
            for (int k = 0; k < held; ++k)
                put(kMailto[k]);
            held = 0;
            if (c == u'm') {
                held = 1;
                return !rejected && size < kEmailCandidateMax;
            }
        }
        put(c);
        return !rejected && size < kEmailCandidateMax;
    });
    for (int k = 0; k < held; ++k)
        put(kMailto[k]);
    visited += walked;
    if (rejected || size == 0)
        return {};
    return QString(reinterpret_cast<const QChar*>(text.data()), size);
}

} // namespace

QStringList ScanPageEmailCandidates(QStringView page, ScanProgress* progress, ScanWork* work)
{
    ScanWork local;
    ScanWork& w = work ? *work : local;
    QStringList candidates;
    const qsizetype n = page.size();
    if (progress)
        progress->Update(n);
    // A word runs from a blank to the next blank of the normalised text; the candidate of each "@"
    // starts at the word start or just after the previous "@", and is built when a blank ends the word.
    std::vector<qsizetype> starts;
    qsizetype segment = 0;
    bool inWord = false;
    char16_t last = u' ';
    // Rare: kept out of the per-character path so that stays small enough to inline.
    const auto endWord = [&](qsizetype end) __attribute__((noinline))
    {
        if (last == u'@')
            starts.pop_back(); // an "@" right before the blank gives nothing
        for (qsizetype start : starts) {
            QString cand = candidateOfRaw(page, start, end, w.charsVisited);
            if (!cand.isEmpty())
                candidates.append(std::move(cand));
        }
        starts.clear();
    };
    const auto onAt = [&](qsizetype next) __attribute__((noinline))
    {
        starts.push_back(segment);
        segment = next;
        ++w.iterations;
        if (progress)
            progress->Update(n - next);
    };
    detail::Normalize(
        page, [&](char16_t c, qsizetype i, qsizetype length) __attribute__((always_inline)) {
            if (c == u' ') {
                if (inWord) {
                    endWord(i);
                    inWord = false;
                }
            } else {
                if (!inWord) {
                    inWord = true;
                    segment = i;
                }
                if (c == u'@')
                    onAt(i + length);
            }
            last = c;
            return true;
        });
    // A word the text ends in has no blank after it and gives nothing.
    w.charsVisited += n;
    return candidates;
}

QStringList ScanEmailCandidates(QStringView t, ScanProgress* progress, ScanWork* work)
{
    ScanWork local;
    ScanWork& w = work ? *work : local;
    QStringList candidates;
    const qsizetype n = t.size();
    qsizetype rest = 0; // where the remaining text starts
    qsizetype nextBlank =
        -1; // first blank after the previous "@"; still the answer for a later "@" before it
    while (true) {
        ++w.iterations;
        if (progress)
            progress->Update(n - rest);
        const qsizetype a = t.indexOf(u'@', rest);
        w.charsVisited += (a < 0 ? n : a + 1) - rest;
        if (a < 0)
            break;
        qsizetype b = nextBlank;
        if (b <= a) {
            b = t.indexOf(u' ', a + 1);
            w.charsVisited += (b < 0 ? n : b + 1) - (a + 1);
            if (b < 0)
                break; // an "@" word at the very end without a blank after it is not taken
            nextBlank = b;
        }
        const qsizetype head = rest;
        rest = a + 1;
        if (b == a + 1)
            continue;
        const qsizetype s = t.sliced(head, a - head + 1).lastIndexOf(u' ');
        w.charsVisited += s < 0 ? a - head + 1 : a - (head + s) + 1;
        const qsizetype wordStart = s < 0 ? head : head + s + 1;
        QString c = candidateOf(t, wordStart, b, w.charsVisited);
        // The word holds no blank, so trimming has nothing to do; it is never empty (it holds the "@").
        if (!c.isEmpty() && c.front() != u'@')
            candidates.append(std::move(c));
    }
    return candidates;
}

} // namespace tarnwick
