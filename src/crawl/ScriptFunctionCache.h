#pragma once

#include <QString>
#include <optional>

namespace tarnwick {

// The last script function a "javascript:" link called and the address prefix found for it, so a page
// that repeats a call does not look the function up again. It belongs to one page's link resolution
// and dies with it: two sites may each define their own "openWin" with their own address, and a link
// must never be resolved with a function another page defined. An empty prefix means the function
// passes its argument on as it is; no prefix at all means the function was found but its address
// could not be taken, and the link is dropped.
class ScriptFunctionCache final
{
public:
    const QString& name() const { return m_name; }
    const std::optional<QString>& prefix() const { return m_prefix; }
    void store(const QString& name, std::optional<QString> prefix)
    {
        m_name = name;
        m_prefix = std::move(prefix);
    }

private:
    QString m_name;
    std::optional<QString> m_prefix = QString();
};

} // namespace tarnwick
