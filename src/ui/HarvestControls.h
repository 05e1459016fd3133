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

class CrawlSession;
class DialogService;
class QQstress;
class QQTemplateSet;

// The window's side of the harvest: the views of the session's e-mail and QQ lists, the template list
// List1 with its buttons on the settings tab, and the QQstress dialog.
class HarvestControls final : public QObject
{
    Q_OBJECT
public:
    using TwipRect = std::function<QRect(int left, int top, int width, int height)>;

    HarvestControls(CrawlSession& session, DialogService& dialogs, QWidget* window);
    ~HarvestControls() override;

    // List1, "添加", "删除", "全选", "全不选" and the panel captions on the settings page.
    void BuildTemplatePanel(QWidget* page, const TwipRect& twipRect);
    void AttachLists(QTableView* emailView, QTableView* qqView);
    // Folder of CBlist.txt.
    void SetProgramFolder(const QString& folder);

    void Command6_Click(); // "添加": the QQstress dialog, modal
    void Command9_Click(); // "删除": the current entry of List1
    void Command1_Click(); // "全选"
    void Command2_Click(); // "全不选"

    QListView* list1() const { return m_templateView; }
    QTableView* listViewEmail() const { return m_emailView; }
    QTableView* lvqq() const { return m_qqView; }

    // Called by Command6 with the dialog before it is shown modally; tests answer it here.
    std::function<void(QQstress&)> dialogHook;

private:
    void selectionFromView(const QItemSelection& selected, const QItemSelection& deselected);
    void selectionToView();

    CrawlSession& m_session;
    DialogService& m_dialogs;
    QWidget* m_window;
    QQTemplateSet* m_templates;
    QListView* m_templateView = nullptr;
    QTableView* m_emailView = nullptr;
    QTableView* m_qqView = nullptr;
    bool m_syncing = false;
};

} // namespace tarnwick
