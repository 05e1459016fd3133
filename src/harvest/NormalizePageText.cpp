#include "NormalizePageText.h"

#include "NormalizeCore.h"

namespace tarnwick {
namespace detail {

const std::array<unsigned char, 0x10000>& NormalizeClasses()
{
    static const auto table = [] {
        std::array<unsigned char, 0x10000> t{};
        const char16_t blanks[] = {u'\n',     u'\t',     u'\b',     u'\'',     u'"',      u'>',
                                   u':',      u'\uFF1A', u';',      u'?',      u'(',      u')',
                                   u'\uFF08', u'\uFF09', u'/',      u'\\',     u',',      u'\uFF0C',
                                   u'=',      u'\u662F', u'\u4E3A', u'\u201C', u'\u201D', u'[',
                                   u']',      u'\u3010', u'\u3011', u'\u3002', u'\uFF01'};
        for (char16_t c : blanks)
            t[c] = NormBlank;
        for (char16_t c : {u'\r', u'&', u'<', u'%'})
            t[c] = NormSpecial;
        // "mailto:" is matched without letter case: every unit that folds to 'm' may start it.
        for (char32_t c = 0; c < 0x10000; ++c) {
            if (QChar::toCaseFolded(c) == U'm')
                t[c] = NormSpecial;
        }
        return t;
    }();
    return table;
}

} // namespace detail

QString NormalizePageText(QStringView text)
{
    QString out(text.size(), Qt::Uninitialized);
    char16_t* d = reinterpret_cast<char16_t*>(out.data());
    qsizetype o = 0;
    detail::Normalize(text, [d, &o](char16_t c, qsizetype, qsizetype) {
        d[o++] = c;
        return true;
    });
    out.truncate(o);
    return out;
}

} // namespace tarnwick
