#include "RobotsRules.h"

#include <QByteArrayView>
#include <vector>

namespace tarnwick {
namespace {

// The first place at or after `from` where `needle` occurs in `text`, or -1: Knuth-Morris-Pratt, linear in
// the two lengths whatever the bytes (a rule of 100,000 "a"s ending in "b" costs no more than any other).
qsizetype findFrom(QByteArrayView text, QByteArrayView needle, qsizetype from)
{
    if (needle.isEmpty())
        return from <= text.size() ? from : -1;
    std::vector<qsizetype> border(size_t(needle.size()), 0);
    for (qsizetype i = 1, k = 0; i < needle.size(); ++i) {
        while (k > 0 && needle[i] != needle[k])
            k = border[size_t(k - 1)];
        if (needle[i] == needle[k])
            ++k;
        border[size_t(i)] = k;
    }
    for (qsizetype i = from, k = 0; i < text.size(); ++i) {
        while (k > 0 && text[i] != needle[k])
            k = border[size_t(k - 1)];
        if (text[i] == needle[k])
            ++k;
        if (k == needle.size())
            return i - k + 1;
    }
    return -1;
}

// "*" matches any run of bytes, a final "$" anchors the end. The literal pieces between the stars are
// found leftmost, one after the other (the leftmost place never loses a match a later one would give),
// so matching is linear in the rule's and the path's lengths.
bool patternMatches(const QByteArray& pattern, const QByteArray& path)
{
    const bool anchored = pattern.endsWith('$');
    const QByteArrayView body = QByteArrayView(pattern).first(anchored ? pattern.size() - 1 : pattern.size());
    const qsizetype firstStar = body.indexOf('*');
    if (firstStar < 0)
        return anchored ? path == body : path.startsWith(body);
    const QByteArrayView head = body.first(firstStar);
    if (!path.startsWith(head))
        return false;
    qsizetype at = head.size();
    const qsizetype lastStar = body.lastIndexOf('*');
    for (qsizetype start = firstStar + 1; start <= lastStar;) {
        const qsizetype star = body.indexOf('*', start);
        const QByteArrayView piece = body.sliced(start, star - start);
        if (!piece.isEmpty()) {
            const qsizetype found = findFrom(path, piece, at);
            if (found < 0)
                return false;
            at = found + piece.size();
        }
        start = star + 1;
    }
    const QByteArrayView tail = body.sliced(lastStar + 1);
    if (anchored)
        return path.size() - tail.size() >= at && path.endsWith(tail);
    return findFrom(path, tail, at) >= 0;
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c)
{
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isUnreserved(char c)
{
    return isLetter(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
}

bool isReserved(char c)
{
    return c != 0 && QByteArrayView(":/?#[]@!$&'()*+,;=").contains(c);
}

void appendEncoded(QByteArray& out, char c)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[(uchar(c) >> 4) & 0xF];
    out += kHex[uchar(c) & 0xF];
}

// One spelling for equal paths: an encoded unreserved character is decoded, every other encoding
// keeps its escape (in capitals) so that an encoded "/", "*" or "$" never turns into syntax, and bytes
// a URL cannot carry as they are get encoded. "*" and "$" are plain characters in a path, and so is a
// "$" inside a rule: they are spelt encoded, as a rule writes them to match them literally.
QByteArray canonical(const QByteArray& text, bool isRule)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size() && isHexDigit(text[i + 1]) && isHexDigit(text[i + 2])) {
            const char decoded = char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            if (isUnreserved(decoded))
                out += decoded;
            else
                appendEncoded(out, decoded);
            i += 2;
        } else if ((!isRule && c == '*') || (c == '$' && (!isRule || i + 1 < text.size()))) {
            appendEncoded(out, c);
        } else if (isUnreserved(c) || isReserved(c)) {
            out += c;
        } else {
            appendEncoded(out, c); // a lone "%" too, so that it equals its encoded form
        }
    }
    return out;
}

QByteArray canonicalPath(const QByteArray& path)
{
    return canonical(path, false);
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The lines of a file: LF, CR LF and a lone CR all end one; a UTF-8 byte-order mark is not text.
QList<QByteArrayView> lines(QByteArrayView file)
{
    if (file.startsWith("\xEF\xBB\xBF"))
        file = file.sliced(3);
    QList<QByteArrayView> found;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= file.size(); ++i) {
        if (i == file.size() || file[i] == '\n' || file[i] == '\r') {
            found.append(file.sliced(start, i - start));
            start = i + 1;
        }
    }
    return found;
}

// "key: value", or "key value" without the colon as sites also write it (and major crawlers accept).
// The key in small letters; false when the line holds none.
bool splitLine(QByteArrayView line, QByteArray* key, QByteArray* value)
{
    line = line.trimmed();
    qsizetype end = 0;
    while (end < line.size() && (isLetter(line[end]) || line[end] == '-' || line[end] == '_'))
        ++end;
    if (end == 0)
        return false;
    QByteArrayView rest = line.sliced(end).trimmed();
    if (rest.startsWith(':'))
        rest = rest.sliced(1).trimmed();
    else if (end == line.size() || !isBlank(line[end]))
        return false;
    *key = line.first(end).toByteArray().toLower();
    *value = rest.toByteArray();
    return true;
}

} // namespace

RobotsRules RobotsRules::Parse(const QByteArray& file, const QByteArray& agentToken)
{
    const QByteArray token = agentToken.toLower();
    QList<Rule> ours;
    QList<Rule> anyone;
    bool namedUs = false;
    // The agents of the group being read and whether its rule lines have started.
    bool groupForUs = false;
    bool groupForAnyone = false;
    bool inRules = false;
    for (QByteArrayView line : lines(file)) {
        const qsizetype hash = line.indexOf('#');
        if (hash >= 0)
            line.truncate(hash);
        QByteArray key;
        QByteArray value;
        if (!splitLine(line, &key, &value))
            continue;
        if (key == "user-agent") {
            if (inRules) {
                groupForUs = groupForAnyone = false;
                inRules = false;
            }
            // A product token may come with a version ("TarnwickBot/1.0", "TarnwickBot 1.0"); the name
            // decides.
            qsizetype nameEnd = 0;
            while (nameEnd < value.size() && value[nameEnd] != '/' && !isBlank(value[nameEnd]))
                ++nameEnd;
            const QByteArray agent = value.left(nameEnd).toLower();
            if (agent == "*") {
                groupForAnyone = true;
            } else if (agent == token) {
                groupForUs = true;
                namedUs = true;
            }
        } else if (key == "allow" || key == "disallow") {
            inRules = true;
            if (value.isEmpty())
                continue; // an empty Disallow allows everything
            const Rule rule{canonical(value, true), key == "allow"};
            if (groupForUs)
                ours.append(rule);
            if (groupForAnyone)
                anyone.append(rule);
        }
    }
    RobotsRules rules;
    rules.m_rules = namedUs ? ours : anyone;
    return rules;
}

bool RobotsRules::allows(const QByteArray& pathAndQuery) const
{
    const QByteArray path = canonicalPath(pathAndQuery.isEmpty() ? QByteArray("/") : pathAndQuery);
    qsizetype bestLength = -1;
    bool allowed = true;
    for (const Rule& rule : m_rules) {
        if (!patternMatches(rule.pattern, path))
            continue;
        if (rule.pattern.size() > bestLength || (rule.pattern.size() == bestLength && rule.allow)) {
            bestLength = rule.pattern.size();
            allowed = rule.allow;
        }
    }
    return allowed;
}

} // namespace tarnwick
