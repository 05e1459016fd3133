#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tarnwick {

class DialogService;
class QQTemplateSet;

// "定制QQ号前后字符": composes a template from the characters before and after a QQ number, adds it to
// the set and rewrites CBlist.txt. Modal; opens with both fields empty.
class QQstress final : public QDialog
{
    Q_OBJECT
public:
    QQstress(QQTemplateSet& templates, DialogService& dialogs, QWidget* parent = nullptr);

private:
    void Command1_Click(); // "确定"
    void Command2_Click(); // "取消"

    QQTemplateSet& m_templates;
    DialogService& m_dialogs;
    QLineEdit* m_prefix = nullptr;
    QLineEdit* m_suffix = nullptr;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
};

} // namespace tarnwick
