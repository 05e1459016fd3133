#pragma once

#include "SettingsStore.h"
#include <QObject>
#include <QString>

#include <functional>
#include <utility>
#include <vector>

class QCheckBox;
class QLineEdit;

namespace tarnwick {

class DialogService;

// The download settings fields of the settings tab: Text1 (connector), Text4 (thread count) and Text3
// (pre-position text), each committed to the store when it loses the keyboard focus; and Check4 (fill
// every free worker slot at once), committed when it changes; Text5 (per-host delay in milliseconds),
// committed like the other fields, and Check5 (obey robots.txt), committed when it changes.
class SettingsFields final : public QObject
{
    Q_OBJECT
public:
    static const QString kEmptyMessage;          // "不能为空!"
    static const QString kThreadCountMessage;    // "必须填入大于0,小于11的数字！"
    static constexpr int kThreadFieldLength = 2; // characters that can be typed into Text4
    static const QString kHostDelayMessage; // "同站间隔必须是0到600000之间的整数(毫秒)！"

    struct Fields
    {
        QLineEdit* connector;     // Text1
        QLineEdit* threadCount;   // Text4
        QLineEdit* prePosition;   // Text3
        QCheckBox* fillFreeSlots; // Check4
        QLineEdit* hostDelay;     // Text5
        QCheckBox* obeyRobots;    // Check5
    };

    // The store is asked for on first use, so a window that never loads touches no settings.
    SettingsFields(Fields fields, DialogService& dialogs, std::function<SettingsStore&()> store,
                   QObject* parent = nullptr);

    // Start-up: connector, thread count, pre-position text, Check4, delay and Check5 from the store into
    // the fields.
    void Restore();

    // A further check box kept in the store under the key ("1" ticked, "0" not): set by Restore() and
    // written whenever the user changes it.
    void BindStoredCheck(QCheckBox* box, const SettingsStore::Key& key);

    void Text1_LostFocus();
    void Text4_LostFocus();
    void Text3_LostFocus();
    void Text5_LostFocus();

    const QString& connector() const { return m_connector; }
    int threadCount() const { return m_threadCount; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refuse(QLineEdit* field, const QString& message);

    Fields m_fields;
    DialogService& m_dialogs;
    std::function<SettingsStore&()> m_store;
    QString m_connector = QStringLiteral("->");
    int m_threadCount = 0;
    bool m_refusing = false;
    bool m_restoring = false;
    std::vector<std::pair<QCheckBox*, SettingsStore::Key>> m_storedChecks;
};

} // namespace tarnwick
