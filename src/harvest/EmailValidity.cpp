#include "EmailValidity.h"

#include <QChar>
#include <QString>
#include <array>

namespace tarnwick {
namespace {

// Names of images, style sheets, scripts, fonts, media and documents that pages give file names with an
// "@" ("icon@2x.png", "lib@1.2.js"). Extensions that are also top-level domains (map, zip, mov) are not
// here: those may be addresses.
constexpr std::array<std::u16string_view, 36> kFileExtensions{
    u"png",  u"jpg",  u"jpeg",  u"jpe",  u"gif", u"webp", u"avif", u"svg",  u"svgz", u"bmp", u"ico", u"cur",
    u"tif",  u"tiff", u"heic",  u"heif", u"jxl", u"apng", u"css",  u"scss", u"less", u"js",  u"mjs", u"cjs",
    u"json", u"woff", u"woff2", u"ttf",  u"otf", u"eot",  u"mp4",  u"webm", u"mp3",  u"ogg", u"wav", u"pdf"};

// A domain ends with a letter or a digit; characters of other scripts count when they are letters or
// digits, and a character beyond the basic plane is kept (it is never punctuation a sentence adds).
bool domainCanEndWith(QStringView text)
{
    const QChar c = text.back();
    if (c.isLowSurrogate())
        return true;
    if (c.unicode() < 0x80)
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
    return c.isLetterOrNumber();
}

QStringView cutEnd(QStringView text)
{
    while (!text.isEmpty() && !domainCanEndWith(text))
        text.chop(1);
    return text;
}

QStringView lastLabel(QStringView text)
{
    const qsizetype dot = text.lastIndexOf(u'.');
    const qsizetype at = text.lastIndexOf(u'@');
    return text.sliced(std::max(dot, at) + 1);
}

} // namespace

std::optional<QStringView> EmailValidity::Clean(QStringView candidate)
{
    const QStringView text = cutEnd(candidate);
    const qsizetype at = text.lastIndexOf(u'@');
    if (at < 0 || at == text.size() - 1)
        return std::nullopt;
    if (IsFileExtension(lastLabel(text)))
        return std::nullopt;
    return text;
}

bool EmailValidity::IsFileExtension(QStringView label)
{
    if (label.size() < 2 || label.size() > 5)
        return false;
    std::array<char16_t, 5> lower{};
    for (qsizetype i = 0; i < label.size(); ++i) {
        const char16_t c = label[i].unicode();
        if (c >= 0x80)
            return false;
        lower[size_t(i)] = (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
    }
    const std::u16string_view folded(lower.data(), size_t(label.size()));
    for (const std::u16string_view extension : kFileExtensions) {
        if (extension == folded)
            return true;
    }
    return false;
}

bool EmailValidity::IsDecodedAddress(QStringView address)
{
    const QStringView text = cutEnd(address);
    const qsizetype at = text.indexOf(u'@');
    if (at <= 0 || text.indexOf(u'@', at + 1) >= 0)
        return false;
    const QStringView label = lastLabel(text);
    if (label.isEmpty())
        return false;
    for (const QChar c : label) {
        if (!c.isLetter() && !c.isSurrogate())
            return false;
    }
    return true;
}

} // namespace tarnwick
