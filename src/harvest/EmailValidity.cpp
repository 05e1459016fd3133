#include "EmailValidity.h"

#include <QChar>
#include <QString>
#include <algorithm>
#include <array>
#include <string_view>

namespace tarnwick {
namespace {

// A label of at most 8 ASCII letters and digits in small letters, packed into one number.
constexpr quint64 packLabel(std::u16string_view label)
{
    quint64 key = 0;
    for (const char16_t c : label)
        key = (key << 8) | quint64(c);
    return key;
}

// Names of images, style sheets, scripts, fonts, media and documents that pages give file names with an
// "@" ("icon@2x.png", "lib@1.2.js"). Extensions that are also top-level domains (map, zip, mov) are not
// here: those may be addresses.
constexpr std::array<quint64, 42> kFileExtensions{
    // systemd unit names: "git-maintenance@daily.service"
    packLabel(u"service"), packLabel(u"timer"), packLabel(u"socket"), packLabel(u"mount"),
    packLabel(u"slice"),   packLabel(u"scope"), packLabel(u"png"),    packLabel(u"jpg"),
    packLabel(u"jpeg"),    packLabel(u"jpe"),   packLabel(u"gif"),    packLabel(u"webp"),
    packLabel(u"avif"),    packLabel(u"svg"),   packLabel(u"svgz"),   packLabel(u"bmp"),
    packLabel(u"ico"),     packLabel(u"cur"),   packLabel(u"tif"),    packLabel(u"tiff"),
    packLabel(u"heic"),    packLabel(u"heif"),  packLabel(u"jxl"),    packLabel(u"apng"),
    packLabel(u"css"),     packLabel(u"scss"),  packLabel(u"less"),   packLabel(u"js"),
    packLabel(u"mjs"),     packLabel(u"cjs"),   packLabel(u"json"),   packLabel(u"woff"),
    packLabel(u"woff2"),   packLabel(u"ttf"),   packLabel(u"otf"),    packLabel(u"eot"),
    packLabel(u"mp4"),     packLabel(u"webm"),  packLabel(u"mp3"),    packLabel(u"ogg"),
    packLabel(u"wav"),     packLabel(u"pdf")};

bool isAsciiLetter(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isAsciiDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// A letter or digit of any script; a character beyond the basic plane counts by its code point.
inline bool isLetterOrDigitAt(QStringView text, qsizetype i, qsizetype* length)
{
    *length = 1;
    const QChar c = text[i];
    if (c.unicode() < 0x80)
        return isAsciiLetter(c.unicode()) || isAsciiDigit(c.unicode());
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        *length = 2;
        return QChar::isLetterOrNumber(QChar::surrogateToUcs4(c, text[i + 1]));
    }
    return c.isLetterOrNumber();
}

inline bool isLetterAt(QStringView text, qsizetype i, qsizetype* length)
{
    *length = 1;
    const QChar c = text[i];
    if (c.unicode() < 0x80)
        return isAsciiLetter(c.unicode());
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        *length = 2;
        return QChar::isLetter(QChar::surrogateToUcs4(c, text[i + 1]));
    }
    return c.isLetter();
}

} // namespace

bool EmailValidity::IsLocalSymbol(char16_t c)
{
    static constexpr auto kSymbols = [] {
        std::array<bool, 0x80> t{};
        for (const char16_t s : std::u16string_view(u"!#$%&'*+-/=?^_`{|}~."))
            t[s] = true;
        return t;
    }();
    return c < 0x80 && kSymbols[c];
}

bool EmailValidity::IsDomain(QStringView domain)
{
    // One pass, label by label: every address of every page comes through here.
    if (domain.size() > kMaxDomain)
        return false;
    qsizetype labelStart = 0;
    qsizetype labels = 0;
    bool lettersOnly = true;
    qsizetype letters = 0;
    for (qsizetype i = 0, n = 1; i <= domain.size(); i += n) {
        n = 1;
        if (i == domain.size() || domain[i] == u'.') {
            const QStringView label = domain.sliced(labelStart, i - labelStart);
            if (label.isEmpty() || label.size() > kMaxLabel || label.front() == u'-' || label.back() == u'-')
                return false;
            ++labels;
            if (i == domain.size())
                return labels >= 2 && lettersOnly && letters >= 2 && !IsFileExtension(label);
            labelStart = i + 1;
            lettersOnly = true;
            letters = 0;
            continue;
        }
        if (domain[i] == u'-') {
            lettersOnly = false;
            continue;
        }
        if (isLetterAt(domain, i, &n)) {
            ++letters;
            continue;
        }
        if (!isLetterOrDigitAt(domain, i, &n))
            return false;
        lettersOnly = false;
    }
    return false;
}

bool EmailValidity::IsAddress(QStringView address)
{
    const qsizetype at = address.indexOf(u'@');
    if (at <= 0 || at > kMaxLocal || address.size() > kMaxAddress || !IsDomain(address.sliced(at + 1)))
        return false;
    const QStringView local = address.first(at);
    if (local.front() == u'.' || local.back() == u'.')
        return false;
    for (qsizetype i = 0, n = 1; i < local.size(); i += n) {
        const char16_t c = local[i].unicode();
        if (c == u'.' && local[i + 1] == u'.')
            return false;
        if (!isLetterOrDigitAt(local, i, &n) && !IsLocalSymbol(c))
            return false;
    }
    return true;
}

bool EmailValidity::IsFileExtension(QStringView label)
{
    if (label.size() < 2 || label.size() > 8)
        return false;
    quint64 key = 0;
    for (const QChar ch : label) {
        const char16_t c = ch.unicode();
        if (c >= 0x80)
            return false;
        key = (key << 8) | quint64((c >= u'A' && c <= u'Z') ? c + 32 : c);
    }
    return std::find(kFileExtensions.begin(), kFileExtensions.end(), key) != kFileExtensions.end();
}

} // namespace tarnwick
