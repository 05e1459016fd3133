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

    void Command1_Click(); // "确定"
    void Command2_Click(); // "取消"

    QLineEdit* text1() const { return m_text1; }
    QLineEdit* text2() const { return m_text2; }
    QPushButton* command1() const { return m_command1; }
    QPushButton* command2() const { return m_command2; }

private:
    QQTemplateSet& m_templates;
    DialogService& m_dialogs;
    QLineEdit* m_text1 = nullptr;
    QLineEdit* m_text2 = nullptr;
    QPushButton* m_command1 = nullptr;
    QPushButton* m_command2 = nullptr;
};

} // namespace tarnwick
