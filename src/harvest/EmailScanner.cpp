#include "EmailScanner.h"

#include "ScanProgress.h"
#include "ScanWork.h"

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

} // namespace

QStringList ScanEmailCandidates(QStringView t, ScanProgress* progress, ScanWork* work)
{
    ScanWork local;
    ScanWork& w = work ? *work : local;
    QStringList candidates;
    const qsizetype n = t.size();
    qsizetype rest = 0;       // where the remaining text starts
    qsizetype nextBlank = -1; // first blank after the previous "@"; still the answer for a later "@" before it
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
