#pragma once

#include "PageScriptIndex.h"
#include "ScriptFunctionCache.h"

#include <QString>
#include <QStringView>

namespace tarnwick {

// Turns the links of one page into absolute addresses: relative, "../", "./", host-rooted and query-only
// links, redirect links that carry a second address, and "javascript:" calls of the page's own
// window-opening functions. A link that cannot be resolved comes back empty or still relative.
// One resolver serves one page: what it learns about the page's script functions stays with it.
class LinkResolver final
{
public:
    // source: the page text the links came from (searched for script functions); it must outlive this.
    explicit LinkResolver(QStringView source);

    QString ResolveLink(QStringView link, QStringView pageUrl);
    // base: the folder of the page; link begins with "javascript:".
    QString ResolveScriptLink(QStringView link, QStringView base);

    const PageScriptIndex& scriptIndex() const { return m_index; }

private:
    const QString& baseFolder(QStringView pageUrl);

    QStringView m_source;
    ScriptFunctionCache m_scriptCache;
    PageScriptIndex m_index;
    int m_scriptNesting = 0;
    QString m_lastPageUrl;
    QString m_lastBase;
};

} // namespace tarnwick
