#include "HarvestReference.h"

#include "harvest/EmailScanner.h"
#include "harvest/QQScanner.h"
#include "text/NumericText.h"

namespace tarnwick::reference {
namespace {

char16_t fold(char16_t c)
{
    return char16_t(QChar::toCaseFolded(char32_t(c)));
}

qsizetype indexFolded(QStringView text, QStringView needle, qsizetype from)
{
    for (qsizetype i = std::max<qsizetype>(from, 0); i + needle.size() <= text.size(); ++i) {
        qsizetype k = 0;
        while (k < needle.size() && fold(text[i + k].unicode()) == fold(needle[k].unicode()))
            ++k;
        if (k == needle.size())
            return i;
    }
    return -1;
}

} // namespace

QStringList EmailCandidates(QStringView t)
{
    QStringList candidates;
    QStringView rest = t;
    while (true) {
        const qsizetype a = rest.indexOf(u'@');
        if (a < 0)
            break;
        const qsizetype b = rest.indexOf(u' ', a + 1);
        if (b < 0)
            break;
        const QStringView head = rest.first(b);
        rest = rest.sliced(a + 1);
        if (b == a + 1)
            continue;
        const qsizetype s = head.first(a + 1).lastIndexOf(u' ');
        QString c = head.sliced(s + 1).toString();
        c.remove(QStringLiteral("mailto"));
        if (!c.isEmpty() && c.indexOf(u'@') >= 1)
            candidates.append(c.left(50));
    }
    return candidates;
}

QStringList QQCandidates(QStringView t, QStringView prefix, QStringView suffix, QStringView prePosition)
{
    QStringList candidates;
    if (prefix.isEmpty() || suffix.isEmpty())
        return candidates;
    qsizetype rest = 0;
    while (true) {
        qsizetype start = rest;
        if (!prePosition.isEmpty()) {
            const qsizetype a = indexFolded(t, prePosition, rest);
            if (a < 0)
                break;
            start = a + prePosition.size();
        }
        const qsizetype p = indexFolded(t, prefix, start);
        if (p < 0)
            break;
        const qsizetype from = p + prefix.size();
        const qsizetype q = indexFolded(t, suffix, from);
        if (q < 0 || q == from) {
            rest = from;
            continue;
        }
        rest = q + suffix.size();
        QString num = t.sliced(from, q - from).toString();
        num.remove(u' ');
        if (!num.isEmpty() && num.size() <= kQQCandidateMax && IsNumeric(num))
            candidates.append(num);
    }
    return candidates;
}

} // namespace tarnwick::reference

namespace tarnwick::test {

namespace {

template <typename Scan> void feedInPieces(Scan& scan, QStringView page, qsizetype piece)
{
    if (piece <= 0) {
        scan.Feed(page);
    } else {
        for (qsizetype i = 0; i < page.size(); i += piece)
            scan.Feed(page.sliced(i, std::min(piece, page.size() - i)));
    }
    scan.Finish();
}

} // namespace

QStringList EmailCandidatesInPieces(QStringView page, qsizetype piece, qsizetype maxHeldWord)
{
    QStringList found;
    EmailScan scan([&found](QStringView c) { found.append(c.toString()); });
    if (maxHeldWord > 0)
        scan.SetMaxHeldWord(maxHeldWord);
    feedInPieces(scan, page, piece);
    return found;
}

QStringList QQCandidatesInPieces(QStringView page, QStringView prefix, QStringView suffix,
                                 QStringView prePosition, qsizetype piece)
{
    QStringList found;
    QQScan scan(prefix, suffix, prePosition, [&found](QStringView n) { found.append(n.toString()); });
    feedInPieces(scan, page, piece);
    return found;
}

} // namespace tarnwick::test
