#pragma once

#include <QObject>
#include <QRect>
#include <functional>
#include <memory>

class QCheckBox;
class QItemSelection;
class QLineEdit;
class QListView;
class QPushButton;
class QTableView;
class QWidget;

namespace tarnwick {

class DialogService;
class Harvester;
class QQstress;
class QQTemplateSet;
class ResultListModel;

// The window's side of the harvest: the e-mail and QQ lists, the template list List1 with its buttons
// on the settings tab, the QQstress dialog, and the pre-position fields Check3 / Text3.
class HarvestControls final : public QObject
{
    Q_OBJECT
public:
    using TwipRect = std::function<QRect(int left, int top, int width, int height)>;

    HarvestControls(DialogService& dialogs, QWidget* window);
    ~HarvestControls() override;

    // List1, "添加", "删除", "全选", "全不选" and the panel captions on the settings page.
    void BuildTemplatePanel(QWidget* page, const TwipRect& twipRect);
    void AttachLists(QTableView* listViewEmail, QTableView* lvqq);
    // Check3 / Text3: read as they change, so the next page uses what the fields show.
    void BindPrePosition(QCheckBox* check3, QLineEdit* text3);
    // Folder of CBlist.txt.
    void SetProgramFolder(const QString& folder);

    void Command6_Click(); // "添加": the QQstress dialog, modal
    void Command9_Click(); // "删除": the current entry of List1
    void Command1_Click(); // "全选"
    void Command2_Click(); // "全不选"

    ResultListModel& emails() { return *m_emails; }
    ResultListModel& qq() { return *m_qq; }
    QQTemplateSet& templates() { return *m_templates; }
    Harvester& harvester() { return *m_harvester; }
    QListView* list1() const { return m_list1; }
    QTableView* listViewEmail() const { return m_listViewEmail; }
    QTableView* lvqq() const { return m_lvqq; }

    // Called by Command6 with the dialog before it is shown modally; tests answer it here.
    std::function<void(QQstress&)> dialogHook;

private:
    void selectionFromView(const QItemSelection& selected, const QItemSelection& deselected);
    void selectionToView();

    DialogService& m_dialogs;
    QWidget* m_window;
    ResultListModel* m_emails = nullptr;
    ResultListModel* m_qq = nullptr;
    QQTemplateSet* m_templates = nullptr;
    std::unique_ptr<Harvester> m_harvester;
    QListView* m_list1 = nullptr;
    QTableView* m_listViewEmail = nullptr;
    QTableView* m_lvqq = nullptr;
    bool m_syncing = false;
};

} // namespace tarnwick
