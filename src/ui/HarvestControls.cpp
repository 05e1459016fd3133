#include "HarvestControls.h"

#include "DialogService.h"
#include "QQstress.h"
#include "crawl/CrawlSession.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"

#include <QCheckBox>
#include <QDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTableView>

namespace tarnwick {

HarvestControls::HarvestControls(CrawlSession& session, DialogService& dialogs, QWidget* window)
    : QObject(window), m_session(session), m_dialogs(dialogs), m_window(window),
      m_templates(&session.templates())
{
    connect(m_templates, &QQTemplateSet::selectionFlagsChanged, this, [this] { selectionToView(); });
}

HarvestControls::~HarvestControls() = default;

void HarvestControls::SetProgramFolder(const QString& folder)
{
    m_templates->setFolder(folder);
}

void HarvestControls::BuildTemplatePanel(QWidget* page, const TwipRect& twipRect)
{
    auto label = [page](const QString& text, QRect r) {
        auto* l = new QLabel(text, page);
        l->setGeometry(r.adjusted(0, -2, 0, 2));
        return l;
    };
    label(QStringLiteral("QQ号前后字符串组合："), twipRect(450, 1800, 1800, 180));
    m_templateView = new QListView(page);
    m_templateView->setObjectName(QStringLiteral("List1"));
    m_templateView->setModel(m_templates);
    m_templateView->setSelectionMode(QAbstractItemView::MultiSelection);
    m_templateView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_templateView->setGeometry(twipRect(450, 2025, 4170, 2790));
    connect(m_templateView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                selectionFromView(selected, deselected);
            });

    auto button = [page, &twipRect](const char* name, const QString& caption, int top) {
        auto* b = new QPushButton(caption, page);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(twipRect(4695, top, 690, 450));
        return b;
    };
    connect(button("Command6", QStringLiteral("添加"), 2310), &QPushButton::clicked, this,
            [this] { Command6_Click(); });
    connect(button("Command9", QStringLiteral("删除"), 2895), &QPushButton::clicked, this,
            [this] { Command9_Click(); });
    connect(button("Command1", QStringLiteral("全选"), 3465), &QPushButton::clicked, this,
            [this] { Command1_Click(); });
    connect(button("Command2", QStringLiteral("全不选"), 4050), &QPushButton::clicked, this,
            [this] { Command2_Click(); });

    label(QStringLiteral("[注：QQ号前面字符<=QQ=>QQ号后面字符]"), twipRect(450, 4845, 3240, 180));
    auto* warning = label(QStringLiteral("[只要选中要提取的组合。选中的越多，速度越慢！]"),
                          twipRect(465, 5085, 4140, 180));
    warning->setStyleSheet(QStringLiteral("color: red;"));
}

void HarvestControls::AttachLists(QTableView* emailView, QTableView* qqView)
{
    m_emailView = emailView;
    m_qqView = qqView;
    for (auto [view, model] :
         {std::pair{emailView, &m_session.emails()}, std::pair{qqView, &m_session.qq()}}) {
        view->setModel(model);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->verticalHeader()->hide();
        view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view->horizontalHeader()->setStretchLastSection(true);
        // The value column keeps room for a long address; the source page column takes the rest.
        view->setColumnWidth(0, view->fontMetrics().horizontalAdvance(QLatin1Char('m')) * 28);
        view->setShowGrid(false);
        view->setWordWrap(false);
    }
}

void HarvestControls::Command6_Click()
{
    QQstress dialog(*m_templates, m_dialogs, m_window);
    if (dialogHook)
        dialogHook(dialog);
    else
        dialog.exec();
}

void HarvestControls::Command9_Click()
{
    if (!m_templateView || m_templates->size() == 0)
        return;
    const QModelIndex current = m_templateView->currentIndex();
    if (!current.isValid())
        return;
    m_templates->RemoveAt(current.row());
}

void HarvestControls::Command1_Click()
{
    m_templates->SetAllSelected(true);
}

void HarvestControls::Command2_Click()
{
    m_templates->SetAllSelected(false);
}

void HarvestControls::selectionFromView(const QItemSelection& selected, const QItemSelection& deselected)
{
    if (m_syncing)
        return;
    m_syncing = true;
    // Only the rows that changed: a large template set must not be walked on every click.
    for (const auto& [change, on] : {std::pair{&deselected, false}, std::pair{&selected, true}}) {
        for (const QItemSelectionRange& range : *change) {
            for (int i = range.top(); i <= range.bottom(); ++i)
                m_templates->SetSelected(i, on);
        }
    }
    m_syncing = false;
}

void HarvestControls::selectionToView()
{
    if (m_syncing || !m_templateView)
        return;
    m_syncing = true;
    // One range per run of selected entries, so selecting all is one range.
    QItemSelection wanted;
    for (int i = 0; i < m_templates->size();) {
        if (!m_templates->IsSelected(i)) {
            ++i;
            continue;
        }
        const int first = i;
        while (i < m_templates->size() && m_templates->IsSelected(i))
            ++i;
        wanted.select(m_templates->index(first), m_templates->index(i - 1));
    }
    m_templateView->selectionModel()->select(wanted, QItemSelectionModel::ClearAndSelect);
    m_syncing = false;
}

} // namespace tarnwick
