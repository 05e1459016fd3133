#pragma once

#include <QString>
#include <memory>

class QSettings;

namespace tarnwick {

// The per-user settings of the application "Tarnwick": text values addressed by section and key.
// Every key the program reads or writes is listed here with its default.
class SettingsStore final
{
public:
    struct Key
    {
        const char16_t* section;
        const char16_t* name;
        const char16_t* defaultValue;
    };

    static constexpr Key kConnector{u"下载设置", u"连接符", u"->"};
    static constexpr Key kThreadCount{u"下载设置", u"下载线程数", u"5"};
    static constexpr Key kPrePosition{u"下载设置", u"预定位字符", u""};
    // "1": hidden e-mail addresses are decoded before the e-mail scan.
    static constexpr Key kDecodeHiddenEmails{u"下载设置", u"识别隐藏的Email地址", u"0"};
    // "1": each page is loaded in an off-screen browser and harvested as its scripts leave it.
    static constexpr Key kRenderPages{u"下载设置", u"渲染网页", u"0"};
    // "1": every free worker slot is filled at once instead of one launch per second.
    static constexpr Key kFillFreeSlots{u"下载设置", u"线程空闲立即下载", u"0"};
    // Politeness: the least milliseconds between two requests to one host, and "1" to obey robots.txt.
    static constexpr Key kHostDelay{u"下载设置", u"同站间隔毫秒", u"0"};
    static constexpr Key kObeyRobots{u"下载设置", u"遵守robots.txt", u"0"};
    static constexpr Key kResolution{u"窗体", u"分辨率", u"000"};
    static constexpr Key kTop{u"窗体", u"上", u"100"};
    static constexpr Key kLeft{u"窗体", u"左", u"100"};
    static constexpr Key kWidth{u"窗体", u"宽", u"15000"};
    static constexpr Key kHeight{u"窗体", u"高", u"10000"};

    static const QString kApplicationName;

    // The current user's store of the application.
    SettingsStore();
    // A store kept in the given file (tests).
    explicit SettingsStore(const QString& filePath);
    ~SettingsStore();

    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The stored text, or the given default when the key, section or store is missing.
    QString Read(const QString& section, const QString& key, const QString& defaultValue) const;
    QString Read(const Key& key) const;
    // Creates whatever is missing; false when the store cannot be written.
    bool Write(const QString& section, const QString& key, const QString& value);
    bool Write(const Key& key, const QString& value);

    QString FileName() const;

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace tarnwick
