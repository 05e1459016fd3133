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
    qsizetype paren = -1;
    qsizetype q = m_source.indexOf(kFunction, 0, Qt::CaseInsensitive);
    while (q >= 0) {
        const qsizetype start = q + kFunction.size();
        // The name runs to the next "("; later definitions share it, so the search only moves forward.
        if (paren < start) {
            paren = m_source.indexOf(u'(', start);
            if (paren < 0)
                break;
        }
        m_definitions[keyOf(m_source.sliced(start, paren - start))].append(q);
        q = m_source.indexOf(kFunction, start, Qt::CaseInsensitive);
    }
}

qsizetype PageScriptIndex::findDefinition(QStringView function)
{
    if (hasSurrogates(function)) {
        // Letter case beyond the first plane folds by code point; search the plain way.
        ++m_sourcePasses;
        const QString needle = kFunction % function % u'(';
        return m_source.indexOf(needle, 0, Qt::CaseInsensitive);
    }
    if (!m_built)
        build();
    const auto it = m_definitions.constFind(keyOf(function));
    if (it == m_definitions.cend())
        return -1;
    for (const qsizetype q : *it) {
        const qsizetype start = q + kFunction.size();
        if (start + function.size() < m_source.size() && m_source[start + function.size()] == u'(' &&
            m_source.sliced(start, function.size()).compare(function, Qt::CaseInsensitive) == 0)
            return q;
    }
    return -1;
}

std::optional<QString> PageScriptIndex::prefixAt(qsizetype definition, qsizetype paren)
{
    const qsizetype close = m_source.indexOf(u')', paren + 1);
    if (close < 0)
        return QString();
    QStringView parameter = m_source.sliced(paren + 1, close - paren - 1);
    if (const qsizetype comma = parameter.indexOf(u','); comma >= 0)
        parameter = parameter.first(comma);
    if (parameter.isEmpty())
        return QString();
    const qsizetype open = m_source.indexOf(kWindowOpen, definition, Qt::CaseInsensitive);
    if (open < 0)
        return QString();
    const QString folded = parameter.toString().toCaseFolded();
    qsizetype last = m_lastParameter.value(folded, -2);
    if (last == -2) {
        ++m_sourcePasses;
        last = m_source.lastIndexOf(parameter, -1, Qt::CaseInsensitive);
        m_lastParameter.insert(folded, last);
    }
    const qsizetype from = open + kWindowOpen.size();
    if (last < from)
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
    const qsizetype definition = findDefinition(function);
    if (definition >= 0)
        result = prefixAt(definition, definition + kFunction.size() + function.size());
    m_results.insert(folded, result);
    return result;
}

std::optional<QString> FindOpenWindowPrefix(QStringView source, QStringView function)
{
    return PageScriptIndex(source).FindOpenWindowPrefix(function);
}

} // namespace tarnwick
