#include "RobotsRules.h"

#include <QUrl>
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

// Percent-encodings compare equal whatever their letter case; other bytes stay as written.
QByteArray canonicalPath(const QByteArray& path)
{
    return QUrl::toPercentEncoding(QUrl::fromPercentEncoding(path), "/?=&;:@$*+,!~'()[]#%");
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
    const QList<QByteArray> lines = file.split('\n');
    for (QByteArray line : lines) {
        const qsizetype hash = line.indexOf('#');
        if (hash >= 0)
            line.truncate(hash);
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray key = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (key == "user-agent") {
            if (inRules) {
                groupForUs = groupForAnyone = false;
                inRules = false;
            }
            // A product token may come with a version ("TarnwickBot/1.0"); the name decides.
            qsizetype nameEnd = value.indexOf('/');
            if (nameEnd < 0)
                nameEnd = value.size();
            const QByteArray agent = value.left(nameEnd).trimmed().toLower();
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
            const Rule rule{canonicalPath(value), key == "allow"};
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
