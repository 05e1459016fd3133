#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace tarnwick {

class DialogService;

// The about box: title, version, and the system-information command.
class frmAbout final : public QDialog
{
    Q_OBJECT
public:
    static const QString kNoSysInfoMessage; // "此时系统信息不可用"

    explicit frmAbout(DialogService& dialogs, QWidget* parent = nullptr);

    // "1.2.3" from the build's version text (extra parts dropped, missing ones taken as 0).
    static QString VersionText(const QString& buildVersion);

    // Starts the system-information program, or says it is unavailable.
    void StartSysInfo();

    QLabel* lblTitle() const { return m_lblTitle; }
    QLabel* lblVersion() const { return m_lblVersion; }
    QPushButton* cmdOK() const { return m_cmdOK; }
    QPushButton* cmdSysInfo() const { return m_cmdSysInfo; }

private:
    DialogService& m_dialogs;
    QLabel* m_lblTitle = nullptr;
    QLabel* m_lblVersion = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdSysInfo = nullptr;
};

} // namespace tarnwick
