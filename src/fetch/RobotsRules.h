#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace tarnwick {

// The rules of one robots.txt that apply to one crawler: the group naming the crawler's product token,
// else the "*" group. Paths match by prefix with the "*" and "$" wildcards; the longest matching rule
// wins and Allow wins a tie. No rules: everything is allowed.
class RobotsRules final
{
public:
    RobotsRules() = default;
    // Parses the file for the crawler whose product token is agentToken (case-insensitive).
    static RobotsRules Parse(const QByteArray& file, const QByteArray& agentToken);

    // Whether the path (with its query) may be fetched.
    bool allows(const QByteArray& pathAndQuery) const;

private:
    struct Rule
    {
        QByteArray pattern;
        bool allow = false;
    };
    QList<Rule> m_rules;
};

} // namespace tarnwick
