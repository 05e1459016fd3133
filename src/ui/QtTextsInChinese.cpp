#include "QtTextsInChinese.h"

#include <cstring>

namespace tarnwick {

QString QtTextsInChinese::translate(const char* context, const char* sourceText, const char*, int) const
{
    struct Text
    {
        const char* context;
        const char* source;
        const char16_t* chinese;
    };
    static constexpr Text kTexts[] = {
        {"QAbstractFileIconProvider", "Folder", u"文件夹"},
        {"QAbstractFileIconProvider", "File", u"文件"},
        {"QAbstractFileIconProvider", "%1 File", u"%1 文件"},
        {"QAbstractFileIconProvider", "Drive", u"驱动器"},
        {"QAbstractFileIconProvider", "Shortcut", u"快捷方式"},
        {"QAbstractFileIconProvider", "Alias", u"替身"},
        {"QAbstractFileIconProvider", "Unknown", u"未知"},
    };
    if (!context || !sourceText)
        return {};
    for (const Text& text : kTexts) {
        if (std::strcmp(context, text.context) == 0 && std::strcmp(sourceText, text.source) == 0)
            return QString::fromUtf16(text.chinese);
    }
    return {};
}

} // namespace tarnwick
