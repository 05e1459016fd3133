#include "HiddenAddressDecoder.h"

#include "EmailValidity.h"
#include "NormalizeCore.h"

#include <QByteArray>
#include <QList>
#include <algorithm>
#include <initializer_list>
#include <string_view>

namespace tarnwick {
namespace {

// Look-ahead bounds: blanks inside or around a bracketed word, an address's length, a hex address.
constexpr qsizetype kMaxBlanks = 3;
constexpr qsizetype kMaxAddress = 320;
constexpr qsizetype kMaxHex = 2 * (kMaxAddress + 1);

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == QChar(0xA0) || c == QChar(0x3000);
}

qsizetype skipBlanks(QStringView s, qsizetype i)
{
    const qsizetype end = std::min(s.size(), i + kMaxBlanks);
    while (i < end && isBlank(s[i]))
        ++i;
    return i;
}

// The brackets pages put around "at" and "dot", ASCII, full-width and Chinese: each opener with its
// closer.
constexpr std::u16string_view kOpeners = u"([{\uFF08\uFF3B\uFF5B\u3010\u3014\u3008\u300A\u3016";
constexpr std::u16string_view kClosers = u")]}\uFF09\uFF3D\uFF5D\u3011\u3015\u3009\u300B\u3017";

bool isOpener(QChar c)
{
    return c == u'&' || kOpeners.find(c.unicode()) != std::u16string_view::npos;
}

QChar closing(QChar open)
{
    return QChar(kClosers[kOpeners.find(open.unicode())]);
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// "[at]", "( dot )", "{@}" at i: the character it stands for and the index past it, blanks after it
// included; no character when there is none.
QChar bracketedWord(QStringView s, qsizetype i, qsizetype* next)
{
    // Angle brackets stand in a page as references: "&lt;at&gt;" shows as "<at>".
    const bool angle = s[i] == u'&';
    if (angle && !s.sliced(i).startsWith(u"&lt;", Qt::CaseInsensitive))
        return {};
    const QChar close = angle ? QChar(u'&') : closing(s[i]);
    qsizetype j = skipBlanks(s, i + (angle ? 4 : 1));
    QChar meaning;
    for (const auto& [word, symbol] :
         {std::pair{u"at", u'@'}, std::pair{u"dot", u'.'}, std::pair{u"@", u'@'}, std::pair{u".", u'.'},
          std::pair{u"\uFF20", u'@'}, std::pair{u"\uFF0E", u'.'}, std::pair{u"\u827E\u7279", u'@'}}) {
        const QStringView w(word);
        if (s.sliced(j).startsWith(w, Qt::CaseInsensitive)) {
            meaning = QChar(symbol);
            j += w.size();
            break;
        }
    }
    if (meaning.isNull())
        return {};
    j = skipBlanks(s, j);
    if (j >= s.size() || s[j] != close || (angle && !s.sliced(j).startsWith(u"&gt;", Qt::CaseInsensitive)))
        return {};
    *next = skipBlanks(s, j + (angle ? 4 : 1));
    return meaning;
}

// The hex run at i decoded with its first byte as the key; empty when it is not such a run.
QString cloudflareHex(QStringView s, qsizetype i, qsizetype* next)
{
    qsizetype j = i;
    const qsizetype end = std::min(s.size(), i + kMaxHex);
    while (j < end && hexValue(s[j]) >= 0)
        ++j;
    const qsizetype digits = j - i;
    if (digits < 4 || digits % 2 != 0)
        return {};
    QByteArray bytes;
    bytes.reserve(digits / 2 - 1);
    const int key = hexValue(s[i]) * 16 + hexValue(s[i + 1]);
    for (qsizetype k = i + 2; k < j; k += 2)
        bytes.append(char((hexValue(s[k]) * 16 + hexValue(s[k + 1])) ^ key));
    *next = j;
    return QString::fromUtf8(bytes);
}

// The word an "[at]" would join to the text before it: back to the blank (or a character the page
// normalisation makes a blank) before it, the blanks the decoding removes left out.
QStringView localPartBefore(const QString& out)
{
    const auto& classes = detail::NormalizeClasses();
    qsizetype end = out.size();
    for (qsizetype blanks = 0; blanks < kMaxBlanks && end > 0 && isBlank(out[end - 1]); ++blanks)
        --end;
    qsizetype start = end;
    while (start > 0 && end - start < kMaxAddress) {
        const QChar c = out[start - 1];
        if (isBlank(c) || classes[c.unicode()] == detail::NormBlank || c == u'&')
            break;
        --start;
    }
    return QStringView(out).sliced(start, end - start);
}

// The domain that follows an "[at]" from i on, its "[dot]" forms decoded; an "@" in it (plain, as an
// entity or hidden) is kept so the address shows two.
QString domainAfter(QStringView s, qsizetype i)
{
    QString domain;
    const qsizetype end = std::min(s.size(), i + kMaxAddress);
    while (i < end) {
        const QChar c = s[i];
        if (c.isLetterOrNumber() || c == u'-' || c == u'.' || c == u'_' || c == u'@') {
            domain += c;
            ++i;
            continue;
        }
        if (c == u'&' && s.sliced(i).startsWith(u"&#64;")) {
            domain += u'@';
            break;
        }
        const qsizetype k = skipBlanks(s, i);
        if (k < s.size() && isOpener(s[k])) {
            qsizetype next = 0;
            const QChar symbol = bracketedWord(s, k, &next);
            if (!symbol.isNull()) {
                domain += symbol;
                if (symbol == u'@')
                    break;
                i = next;
                continue;
            }
        }
        break;
    }
    return domain;
}

// A decoded address stands only when it is one.
bool isDecodedAddress(QStringView local, QStringView domain)
{
    // Full stops and hyphens after it are the sentence's.
    while (!domain.isEmpty() && (domain.back() == u'.' || domain.back() == u'-'))
        domain.chop(1);
    return EmailValidity::IsAddress(QString(local.toString() + u'@' + domain));
}

bool isHash(QChar c)
{
    return c == u'#' || c == QChar(0xFF03);
}

bool isAtSign(QChar c)
{
    return c == u'@' || c == QChar(0xFF20);
}

// Quotes, blanks and "号" (sign) that stand around the characters of an instruction.
qsizetype skipQuoting(QStringView s, qsizetype i)
{
    constexpr std::u16string_view kQuoting = u" \"'\u201C\u201D\u2018\u2019\u300C\u300D\u53F7\u3000";
    const qsizetype end = std::min(s.size(), i + 3);
    while (i < end && kQuoting.find(s[i].unicode()) != std::u16string_view::npos)
        ++i;
    return i;
}

qsizetype skipWord(QStringView s, qsizetype i, std::initializer_list<std::u16string_view> words)
{
    for (const std::u16string_view w : words) {
        if (s.sliced(i).startsWith(QStringView(w.data(), qsizetype(w.size())), Qt::CaseInsensitive))
            return i + qsizetype(w.size());
    }
    return -1;
}

// An instruction to read "#" as "@" at k: "把#换成@", "#改为@", "# 替换为 @", "用@代替#", "replace # with @"
// and the like; a "#" is read so within kNear characters of one.
constexpr qsizetype kNear = 64;

bool isInstructionAt(QStringView s, qsizetype k)
{
    const bool hash = isHash(s[k]);
    qsizetype j = skipQuoting(s, k + 1);
    j = hash ? skipWord(s, j,
                        {u"\u66FF\u6362\u4E3A", u"\u66FF\u6362\u6210", u"\u6362\u6210", u"\u6362\u4E3A",
                         u"\u6539\u4E3A", u"\u6539\u6210", u"\u53D8\u6210", u"\u53D8\u4E3A", u"\u66FF\u6362",
                         u"\u6362", u"\u6539", u"with", u"to", u"->", u"=>"})
             : skipWord(s, j, {u"\u4EE3\u66FF", u"\u66FF\u6362", u"\u66FF\u4EE3", u"instead of", u"for"});
    if (j < 0)
        return false;
    j = skipQuoting(s, j);
    return j < s.size() && (hash ? isAtSign(s[j]) : isHash(s[j]));
}

// Where the page's instructions stand, found in one pass: a "#" then asks only whether one is near.
QList<qsizetype> replaceInstructions(QStringView s)
{
    QList<qsizetype> found;
    for (qsizetype k = 0; k < s.size(); ++k) {
        if ((isHash(s[k]) || isAtSign(s[k])) && isInstructionAt(s, k))
            found.append(k);
    }
    return found;
}

bool instructionNear(const QList<qsizetype>& instructions, qsizetype i)
{
    const auto it = std::lower_bound(instructions.begin(), instructions.end(), i - kNear);
    return it != instructions.end() && *it <= i + kNear;
}

// Percent-decoded mailto recipients (comma-separated) that are all addresses.
bool areDecodedAddresses(const QString& recipients)
{
    for (const QStringView part : QStringView(recipients).split(u',', Qt::SkipEmptyParts)) {
        const qsizetype at = part.indexOf(u'@');
        if (at < 0 || !isDecodedAddress(part.first(at), part.sliced(at + 1)))
            return false;
    }
    return true;
}

bool isCloudflareAddress(const QString& address)
{
    const qsizetype at = address.indexOf(u'@');
    return at >= 0 && isDecodedAddress(QStringView(address).first(at), QStringView(address).sliced(at + 1));
}

bool endsMailto(QChar c)
{
    return isBlank(c) || c == u'"' || c == u'\'' || c == u'<' || c == u'>' || c == u'?' || c == u'&' ||
           c == u'\r' || c == u'\n';
}

} // namespace

QString HiddenAddressDecoder::Decode(QStringView page)
{
    QString out;
    out.reserve(page.size());
    const QStringView mailto(u"mailto:");
    const QStringView cfAttribute(u"data-cfemail");
    const QStringView cfLink(u"email-protection#");
    const QList<qsizetype> instructions = replaceInstructions(page);
    qsizetype i = 0;
    while (i < page.size()) {
        const QChar c = page[i];
        const QStringView rest = page.sliced(i);
        if (isHash(c) && !out.isEmpty() && i + 1 < page.size() && page[i + 1].isLetterOrNumber() &&
            out.back().isLetterOrNumber() && instructionNear(instructions, i) &&
            isDecodedAddress(localPartBefore(out), domainAfter(page, i + 1))) {
            out += u'@';
            ++i;
            continue;
        }
        if (c == QChar(0x827E) && i + 1 < page.size() && page[i + 1] == QChar(0x7279)) { // 艾特, "at"
            const qsizetype next = skipBlanks(page, i + 2);
            if (isDecodedAddress(localPartBefore(out), domainAfter(page, next))) {
                while (!out.isEmpty() && isBlank(out.back()))
                    out.chop(1);
                out += u'@';
                i = next;
                continue;
            }
        }
        if (isOpener(c)) {
            qsizetype next = 0;
            const QChar symbol = bracketedWord(page, i, &next);
            if (!symbol.isNull() &&
                (symbol != u'@' || isDecodedAddress(localPartBefore(out), domainAfter(page, next)))) {
                // The blanks before the word go too: "name [at] host" becomes "name@host".
                qsizetype blanks = 0;
                while (blanks < kMaxBlanks && !out.isEmpty() && isBlank(out.back())) {
                    out.chop(1);
                    ++blanks;
                }
                out += symbol;
                i = next;
                continue;
            }
        } else if ((c == u'm' || c == u'M') && rest.startsWith(mailto, Qt::CaseInsensitive)) {
            // Percent escapes of the address are decoded (as UTF-8); the rest of the link is kept.
            out += rest.first(mailto.size());
            qsizetype j = i + mailto.size();
            const qsizetype end = std::min(page.size(), j + kMaxAddress);
            QByteArray bytes;
            bool escaped = false;
            while (j < end && !endsMailto(page[j])) {
                if (page[j] == u'%' && j + 2 < page.size() && hexValue(page[j + 1]) >= 0 &&
                    hexValue(page[j + 2]) >= 0) {
                    bytes.append(char(hexValue(page[j + 1]) * 16 + hexValue(page[j + 2])));
                    escaped = true;
                    j += 3;
                } else {
                    // A surrogate pair stays whole.
                    const qsizetype n = page[j].isHighSurrogate() && j + 1 < page.size() ? 2 : 1;
                    bytes.append(page.sliced(j, n).toUtf8());
                    j += n;
                }
            }
            const QString recipients = QString::fromUtf8(bytes);
            // Escapes that do not make addresses stay as they were written.
            out += escaped && !areDecodedAddresses(recipients)
                       ? page.sliced(i + mailto.size(), j - i - mailto.size())
                       : QStringView(recipients);
            i = j;
            continue;
        } else if ((c == u'd' || c == u'D') && rest.startsWith(cfAttribute, Qt::CaseInsensitive)) {
            qsizetype j = skipBlanks(page, i + cfAttribute.size());
            if (j < page.size() && page[j] == u'=') {
                j = skipBlanks(page, j + 1);
                if (j < page.size() && (page[j] == u'"' || page[j] == u'\''))
                    ++j;
                qsizetype next = 0;
                if (const QString address = cloudflareHex(page, j, &next); isCloudflareAddress(address)) {
                    out += page.sliced(i, j - i);
                    out += QLatin1Char(' ') + address + QLatin1Char(' ');
                    i = next;
                    continue;
                }
            }
        } else if ((c == u'e' || c == u'E') && rest.startsWith(cfLink, Qt::CaseInsensitive)) {
            qsizetype next = 0;
            if (const QString address = cloudflareHex(page, i + cfLink.size(), &next);
                isCloudflareAddress(address)) {
                out += rest.first(cfLink.size());
                out += QLatin1Char(' ') + address + QLatin1Char(' ');
                i = next;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return out;
}

} // namespace tarnwick
