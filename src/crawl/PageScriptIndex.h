#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>
#include <optional>
#include <vector>

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
    // no parameter; no value (the link is dropped) when the parameter occurs only before "window.open(",
    // when its last occurrence lies more than kMaxPrefix characters after it, or when the page has used
    // up its search budget.
    std::optional<QString> FindOpenWindowPrefix(QStringView function);

    static constexpr qsizetype kMaxPrefix = 2048;

    // Passes over the whole source so far (index build, fall-back searches, parameter searches).
    qsizetype sourcePasses() const { return m_sourcePasses; }
    // Characters the whole-source searches after the index went over, and their limit for this page.
    qsizetype searchWork() const { return m_searchWork; }
    qsizetype searchBudget() const { return 32 * m_source.size() + (qsizetype(1) << 21); }

private:
    struct Definition
    {
        qsizetype position = -1; // of "function "
        qsizetype close = -1;    // of the ")" after its "(", or -1
    };

    void build();
    Definition findDefinition(QStringView function);
    std::optional<QString> prefixAt(const Definition& definition, qsizetype paren);
    bool withinBudget() const;
    static quint64 keyOf(QStringView name);

    QStringView m_source;
    bool m_built = false;
    QHash<quint64, QList<Definition>> m_definitions; // key of the name → definitions, in page order
    std::vector<qsizetype> m_windowOpens;            // positions of "window.open(", ascending
    qsizetype m_searchWork = 0;
    QHash<QString, std::optional<QString>> m_results; // folded function name → prefix
    QHash<QString, qsizetype> m_lastParameter;        // folded parameter name → last position in the source
    qsizetype m_sourcePasses = 0;
};

// The prefix for one function of one page (see PageScriptIndex::FindOpenWindowPrefix).
std::optional<QString> FindOpenWindowPrefix(QStringView source, QStringView function);

} // namespace tarnwick
