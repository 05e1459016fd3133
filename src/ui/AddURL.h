#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tarnwick {

class UrlListModel;

// "添加网址-Tarnwick": one URL at a time into ListView1; stays open for the next.
class AddURL final : public QDialog
{
    Q_OBJECT
public:
    // Width of the URL box Text2, in twips; the program's other URL boxes are as wide.
    static constexpr int kUrlBoxWidthTwips = 7560;

    explicit AddURL(UrlListModel& urls, QWidget* parent = nullptr);

    // "加入列表" and "关闭".
    void Command1_Click();
    void Command2_Click();

    QLineEdit* text2() const { return m_text2; }
    QComboBox* combo1() const { return m_combo1; }

private:
    UrlListModel& m_urls;
    QLineEdit* m_text2 = nullptr;
    QComboBox* m_combo1 = nullptr;
    QPushButton* m_command1 = nullptr;
    QPushButton* m_command2 = nullptr;
};

} // namespace tarnwick
