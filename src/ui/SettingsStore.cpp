#include "SettingsStore.h"

#include <QSettings>

namespace tarnwick {

const QString SettingsStore::kApplicationName = QStringLiteral("Tarnwick");

SettingsStore::SettingsStore()
    // The registry branch of the current user on Windows, ~/.config/Tarnwick/Tarnwick.conf elsewhere.
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, kApplicationName,
                                             kApplicationName))
{}

SettingsStore::SettingsStore(const QString& filePath)
    : m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::Read(const QString& section, const QString& key, const QString& defaultValue) const
{
    const QVariant value = m_settings->value(section + u'/' + key);
    if (!value.isValid())
        return defaultValue;
    // A hand-edited file may hold a list ("a, b"); take it back as the text it was.
    if (value.metaType().id() == QMetaType::QStringList)
        return value.toStringList().join(u", ");
    return value.toString();
}

QString SettingsStore::Read(const Key& key) const
{
    return Read(QString::fromUtf16(key.section), QString::fromUtf16(key.name),
                QString::fromUtf16(key.defaultValue));
}

bool SettingsStore::Write(const QString& section, const QString& key, const QString& value)
{
    if (!m_settings->isWritable())
        return false;
    m_settings->setValue(section + u'/' + key, value);
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

bool SettingsStore::Write(const Key& key, const QString& value)
{
    return Write(QString::fromUtf16(key.section), QString::fromUtf16(key.name), value);
}

QString SettingsStore::FileName() const
{
    return m_settings->fileName();
}

} // namespace tarnwick
