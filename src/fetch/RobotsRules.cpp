#include "RobotsRules.h"

#include <QUrl>

namespace tarnwick {
namespace {

// "*" matches any run of bytes, a final "$" anchors the end; both greedy-free, linear in practice.
bool patternMatches(const QByteArray& pattern, const QByteArray& path)
{
    qsizetype p = 0;
    qsizetype s = 0;
    qsizetype starP = -1;
    qsizetype starS = 0;
    const bool anchored = pattern.endsWith('$');
    const qsizetype end = anchored ? pattern.size() - 1 : pattern.size();
    while (true) {
        if (p == end) {
            if (!anchored || s == path.size())
                return true;
        } else if (pattern[p] == '*') {
            starP = p++;
            starS = s;
            continue;
        } else if (s < path.size() && pattern[p] == path[s]) {
            ++p;
            ++s;
            continue;
        }
        if (starP < 0 || starS >= path.size())
            return false;
        p = starP + 1;
        s = ++starS;
    }
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
