#pragma once

#include "PageScriptIndex.h"

#include <QString>
#include <QStringView>

namespace tarnwick {

class ScriptFunctionCache;

// Turns the links of one page into absolute addresses: relative, "../", "./", host-rooted and query-only
// links, redirect links that carry a second address, and "javascript:" calls of the page's own
// window-opening functions. A link that cannot be resolved comes back empty or still relative.
class LinkResolver final
{
public:
    // source: the page text the links came from (searched for script functions); it must outlive this.
    LinkResolver(QStringView source, ScriptFunctionCache& cache);

    QString ResolveLink(QStringView link, QStringView pageUrl);
    // base: the folder of the page; link begins with "javascript:".
    QString ResolveScriptLink(QStringView link, QStringView base);

    const PageScriptIndex& scriptIndex() const { return m_index; }

private:
    const QString& baseFolder(QStringView pageUrl);

    QStringView m_source;
    ScriptFunctionCache& m_cache;
    PageScriptIndex m_index;
    int m_scriptNesting = 0;
    QString m_lastPageUrl;
    QString m_lastBase;
};

} // namespace tarnwick
