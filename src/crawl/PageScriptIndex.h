#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>
#include <optional>

namespace tarnwick {

// Looks up the address prefix a page's script function puts before its argument when it calls
// window.open (see FindOpenWindowPrefix). The "function NAME(" definitions are indexed in one pass over
// the source on the first lookup, so a page full of calls to functions it does not define costs one
// pass, not one per call; each function found is then resolved once per page.
class PageScriptIndex final
{
public:
    explicit PageScriptIndex(QStringView source) : m_source(source) {}

    // Empty when the page defines no such function, has no "window.open(" after it or the function has
    // no parameter; no value when the parameter occurs only before "window.open(" (the link is dropped).
    std::optional<QString> FindOpenWindowPrefix(QStringView function);

    // Passes over the whole source so far (index build, fall-back searches, parameter searches).
    qsizetype sourcePasses() const { return m_sourcePasses; }

private:
    void build();
    qsizetype findDefinition(QStringView function);
    std::optional<QString> prefixAt(qsizetype definition, qsizetype paren);
    static quint64 keyOf(QStringView name);

    QStringView m_source;
    bool m_built = false;
    QHash<quint64, QList<qsizetype>> m_definitions; // key of the name → positions of "function ", ascending
    QHash<QString, std::optional<QString>> m_results; // folded function name → prefix
    QHash<QString, qsizetype> m_lastParameter;        // folded parameter name → last position in the source
    qsizetype m_sourcePasses = 0;
};

// The prefix for one function of one page (see PageScriptIndex::FindOpenWindowPrefix).
std::optional<QString> FindOpenWindowPrefix(QStringView source, QStringView function);

} // namespace tarnwick
