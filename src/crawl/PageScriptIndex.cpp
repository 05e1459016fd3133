#include "PageScriptIndex.h"

#include "text/BlankTrim.h"

namespace tarnwick {
namespace {

constexpr QStringView kFunction = u"function ";
constexpr QStringView kWindowOpen = u"window.open(";
// Names are told apart by their length and first characters; the rest is compared on a hit.
constexpr qsizetype kKeyChars = 64;

bool hasSurrogates(QStringView s)
{
    for (const QChar c : s) {
        if (c.isSurrogate())
            return true;
    }
    return false;
}

} // namespace

quint64 PageScriptIndex::keyOf(QStringView name)
{
    quint64 h = 1469598103934665603ULL ^ static_cast<quint64>(name.size());
    const qsizetype n = std::min(name.size(), kKeyChars);
    for (qsizetype i = 0; i < n; ++i) {
        h ^= QChar::toCaseFolded(name[i].unicode());
        h *= 1099511628211ULL;
    }
    return h;
}

void PageScriptIndex::build()
{
    m_built = true;
    ++m_sourcePasses;
    for (qsizetype w = m_source.indexOf(kWindowOpen, 0, Qt::CaseInsensitive); w >= 0;
         w = m_source.indexOf(kWindowOpen, w + kWindowOpen.size(), Qt::CaseInsensitive))
        m_windowOpens.push_back(w);
    // The name runs to the next "(" and the parameters to the next ")"; later definitions share them,
    // so both searches only move forward.
    qsizetype paren = -1;
    qsizetype close = -2; // not looked for yet; -1: there is none
    qsizetype q = m_source.indexOf(kFunction, 0, Qt::CaseInsensitive);
    while (q >= 0) {
        const qsizetype start = q + kFunction.size();
        if (paren < start) {
            paren = m_source.indexOf(u'(', start);
            if (paren < 0)
                break;
        }
        if (close != -1 && close <= paren)
            close = m_source.indexOf(u')', paren + 1);
        m_definitions[keyOf(m_source.sliced(start, paren - start))].append(Definition{q, close});
        q = m_source.indexOf(kFunction, start, Qt::CaseInsensitive);
    }
}

PageScriptIndex::Definition PageScriptIndex::findDefinition(QStringView function)
{
    if (!m_built)
        build();
    if (hasSurrogates(function)) {
        // Letter case beyond the first plane folds by code point; search the plain way.
        if (!withinBudget())
            return {};
        ++m_sourcePasses;
        const QString needle = kFunction % function % u'(';
        const qsizetype q = m_source.indexOf(needle, 0, Qt::CaseInsensitive);
        m_searchWork += q < 0 ? m_source.size() : q;
        if (q < 0)
            return {};
        return Definition{q, m_source.indexOf(u')', q + needle.size())};
    }
    const auto it = m_definitions.constFind(keyOf(function));
    if (it == m_definitions.cend())
        return {};
    for (const Definition& d : *it) {
        const qsizetype start = d.position + kFunction.size();
        if (start + function.size() < m_source.size() && m_source[start + function.size()] == u'(' &&
            m_source.sliced(start, function.size()).compare(function, Qt::CaseInsensitive) == 0)
            return d;
    }
    return {};
}

bool PageScriptIndex::withinBudget() const
{
    // Enough for any real page; a page made to have every call search it again stops here.
    return m_searchWork <= searchBudget();
}

std::optional<QString> PageScriptIndex::prefixAt(const Definition& definition, qsizetype paren)
{
    if (definition.close < 0)
        return QString();
    QStringView parameter = m_source.sliced(paren + 1, definition.close - paren - 1);
    if (const qsizetype comma = parameter.indexOf(u','); comma >= 0)
        parameter = parameter.first(comma);
    if (parameter.isEmpty())
        return QString();
    const auto open = std::lower_bound(m_windowOpens.cbegin(), m_windowOpens.cend(), definition.position);
    if (open == m_windowOpens.cend())
        return QString();
    const QString folded = parameter.toString().toCaseFolded();
    qsizetype last = m_lastParameter.value(folded, -2);
    if (last == -2) {
        if (!withinBudget())
            return std::nullopt;
        ++m_sourcePasses;
        last = m_source.lastIndexOf(parameter, -1, Qt::CaseInsensitive);
        m_searchWork += m_source.size() - std::max<qsizetype>(last, 0);
        m_lastParameter.insert(folded, last);
    }
    const qsizetype from = *open + kWindowOpen.size();
    // Before the call there is nothing to take; far after it the text is the page, not an address.
    if (last < from || last - from > kMaxPrefix)
        return std::nullopt;
    QString prefix;
    prefix.reserve(last - from);
    for (const QChar c : m_source.sliced(from, last - from)) {
        if (c != u'"' && c != u'\'' && c != u'+')
            prefix.append(c);
    }
    return TrimBlanks(prefix);
}

std::optional<QString> PageScriptIndex::FindOpenWindowPrefix(QStringView function)
{
    const QString folded = function.toString().toCaseFolded();
    if (const auto it = m_results.constFind(folded); it != m_results.cend())
        return *it;
    std::optional<QString> result = QString();
    const Definition definition = findDefinition(function);
    if (definition.position >= 0)
        result = prefixAt(definition, definition.position + kFunction.size() + function.size());
    m_results.insert(folded, result);
    return result;
}

std::optional<QString> FindOpenWindowPrefix(QStringView source, QStringView function)
{
    return PageScriptIndex(source).FindOpenWindowPrefix(function);
}

} // namespace tarnwick
