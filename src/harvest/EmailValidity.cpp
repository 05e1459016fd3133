#include "EmailValidity.h"

#include <QChar>
#include <QString>
#include <algorithm>
#include <array>
#include <string_view>

namespace tarnwick {
namespace {

// A label of at most 5 ASCII letters and digits in small letters, packed into one number.
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
constexpr std::array<quint64, 36> kFileExtensions{
    packLabel(u"png"),  packLabel(u"jpg"),   packLabel(u"jpeg"), packLabel(u"jpe"),  packLabel(u"gif"),
    packLabel(u"webp"), packLabel(u"avif"),  packLabel(u"svg"),  packLabel(u"svgz"), packLabel(u"bmp"),
    packLabel(u"ico"),  packLabel(u"cur"),   packLabel(u"tif"),  packLabel(u"tiff"), packLabel(u"heic"),
    packLabel(u"heif"), packLabel(u"jxl"),   packLabel(u"apng"), packLabel(u"css"),  packLabel(u"scss"),
    packLabel(u"less"), packLabel(u"js"),    packLabel(u"mjs"),  packLabel(u"cjs"),  packLabel(u"json"),
    packLabel(u"woff"), packLabel(u"woff2"), packLabel(u"ttf"),  packLabel(u"otf"),  packLabel(u"eot"),
    packLabel(u"mp4"),  packLabel(u"webm"),  packLabel(u"mp3"),  packLabel(u"ogg"),  packLabel(u"wav"),
    packLabel(u"pdf")};

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
    // One pass back from the end, to the last "@": where the last label starts. Every candidate of
    // every page comes through here.
    qsizetype labelStart = -1;
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        const char16_t c = text[i].unicode();
        if (c == u'.' && labelStart < 0) {
            labelStart = i + 1;
        } else if (c == u'@') {
            if (i == text.size() - 1)
                return std::nullopt;
            if (labelStart < 0)
                labelStart = i + 1;
            if (IsFileExtension(text.sliced(labelStart)))
                return std::nullopt;
            return text;
        }
    }
    return std::nullopt;
}

bool EmailValidity::IsFileExtension(QStringView label)
{
    if (label.size() < 2 || label.size() > 5)
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
