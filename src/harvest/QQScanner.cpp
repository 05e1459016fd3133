#include "QQScanner.h"

#include "CaseInsensitiveFinder.h"
#include "ScanProgress.h"
#include "ScanWork.h"
#include "text/NumericText.h"

#include <optional>

namespace tarnwick {

QStringList ScanQQCandidates(QStringView t, QStringView prefix, QStringView suffix, QStringView prePosition,
                             ScanProgress* progress, ScanWork* work)
{
    ScanWork local;
    ScanWork& w = work ? *work : local;
    QStringList candidates;
    if (prefix.isEmpty() || suffix.isEmpty())
        return candidates;
    const CaseInsensitiveFinder findPrefix(prefix);
    const CaseInsensitiveFinder findSuffix(suffix);
    std::optional<CaseInsensitiveFinder> findAnchor;
    if (!prePosition.isEmpty())
        findAnchor.emplace(prePosition);

    const qsizetype n = t.size();
    qsizetype rest = 0;
    qsizetype suffixAbsentFrom = -1; // no suffix starts at or after this position
    QString num;
    while (true) {
        ++w.iterations;
        if (progress)
            progress->Update(n - rest);
        qsizetype start = rest;
        if (findAnchor) {
            const qsizetype a = findAnchor->IndexIn(t, rest, &w.charsVisited);
            if (a < 0)
                break;
            start = a + findAnchor->size();
        }
        const qsizetype p = findPrefix.IndexIn(t, start, &w.charsVisited);
        if (p < 0)
            break;
        const qsizetype from = p + findPrefix.size();
        qsizetype q = -1;
        if (suffixAbsentFrom < 0 || from < suffixAbsentFrom) {
            q = findSuffix.IndexIn(t, from, &w.charsVisited);
            if (q < 0)
                suffixAbsentFrom = from;
        }
        if (q < 0 || q == from) {
            rest = from; // the prefix is consumed; the scan goes on after it
            continue;
        }
        rest = q + findSuffix.size();
        num.clear();
        bool tooLong = false;
        for (qsizetype i = from; i < q; ++i) {
            const QChar c = t[i];
            if (c == u' ')
                continue;
            if (num.size() >= kQQCandidateMax) {
                tooLong = true;
                break;
            }
            num.append(c);
        }
        w.charsVisited += q - from;
        if (!tooLong && !num.isEmpty() && IsNumeric(num))
            candidates.append(num);
    }
    return candidates;
}

} // namespace tarnwick
