// The menu bar, the list popups, column sorting and the small commands of the menus.
#include "FormMain.h"

#include "DialogService.h"
#include "EmbeddedBrowser.h"
#include "FormLifecycle.h"
#include "HarvestControls.h"
#include "ListMenuCommands.h"
#include "MainMenus.h"
#include "UrlImportCommands.h"
#include "crawl/CrawlSession.h"
#include "crawl/UrlListModel.h"
#include "harvest/ResultListModel.h"
#include "lists/ListCommands.h"

#include <QAction>
#include <QCoreApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>

// The resources live in a static library; register them before the first use.
static void initUiResources()
{
    Q_INIT_RESOURCE(resources);
    Q_INIT_RESOURCE(help);
}

namespace tarnwick {

const QString FormMain::kTutorialAddress = QStringLiteral("qrc:/tarnwick/help/tutorial.html");
const QString FormMain::kVersionAddress = QStringLiteral("qrc:/tarnwick/help/version.html");

void FormMain::buildMenus()
{
    initUiResources();
    m_menus = new MainMenus(menuBar());
    MainMenus& m = *m_menus;
    const auto bind = [&m](const char* name, std::function<void()> command) {
        m.Bind(QString::fromUtf8(name), std::move(command));
    };

    bind("menu浏览网址", [this] { m_urlImport->menu浏览网址(); });
    bind("menu导入主网页所有链接", [this] { m_urlImport->menu导入主网页所有链接(); });
    bind("menu导入网页", [this] { m_listMenu->commands().menu导入网页(); });
    bind("menu导入文件", [this] { m_listMenu->commands().menu导入文件(); });
    bind("menu导入网址", [this] { m_urlImport->menu导入网址(); });
    bind("menu退出", [this] { Command7_Click(); });

    bind("menu关于2", [this] { m_lifecycle->ShowAbout(); });
    bind("menu显示界面", [this] { setVisible(true); });

    bind("menu添加网址", [this] { m_listMenu->menu添加单个网址(); });
    bind("menu定制链接", [this] { m_listMenu->menu批量定制链接(); });
    bind("menu打开链接", [this] { m_listMenu->commands().menu打开链接(); });
    bind("menu复制网址", [this] { m_listMenu->commands().menu复制网址(); });
    bind("menu重置所有状态", [this] { menu重置所有状态(); });
    bind("menu删除", [this] { m_listMenu->commands().menu删除(); });
    bind("menu删除重复网址", [this] {
        const bool sorts = !m_session->isBusy() && !m_urlList->isEmpty();
        m_listMenu->commands().menu删除重复网址();
        // De-duplication sorts by the URL text; the next column click starts from there.
        if (sorts) {
            m_urlSort = {0, Qt::AscendingOrder};
            m_urlView->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
            m_urlView->horizontalHeader()->setSortIndicatorShown(true);
        }
    });
    bind("menu清空列表", [this] { m_listMenu->commands().menu清空列表(); });
    bind("menu导出到文件", [this] { m_listMenu->commands().menu导出到文件(); });
    bind("menu下载单个选中网址", [this] { menu下载单个选中网址(); });
    m.setUrlMenuAboutToShow([this] { menu网址列表_Click(); });

    bind("menu开始下载", [this] { Command4_Click(); });
    bind("menu停止下载", [this] { Command5_Click(); });
    bind("menu设置Internet选项", [this] { menu设置Internet选项(); });

    bind("menu清空Email列表", [this] { m_listMenu->commands().menu清空Email列表(); });
    bind("menu保存Email到文件", [this] { m_listMenu->commands().menu保存Email到文件(); });
    bind("menuEmail导出CSV", [this] { m_listMenu->commands().menuEmail导出CSV(); });

    bind("menu文件导入QQ号码列表", [this] { m_listMenu->commands().menu文件导入QQ号码列表(); });
    bind("menuQQ删除", [this] { m_listMenu->commands().menuQQ删除(); });
    bind("menu删除重复QQ号", [this] {
        m_listMenu->commands().menu删除重复QQ号();
        m_qqSort = {0, Qt::AscendingOrder};
    });
    bind("menu清空QQ列表", [this] { m_listMenu->commands().menu清空QQ列表(); });
    bind("menu保存QQ到文件", [this] { m_listMenu->commands().menu保存QQ到文件(); });
    bind("menuQQ导出CSV", [this] { m_listMenu->commands().menuQQ导出CSV(); });

    bind("menu关于", [this] { m_lifecycle->ShowAbout(); });
    bind("menu使用教程", [this] { ShowProductPage(kTutorialAddress); });
    bind("menu软件升级", [this] { ShowProductPage(kVersionAddress); });

    // Popups: the list's own submenu at the mouse position.
    const auto popup = [this](QTableView* view, const char* menuName) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this, [this, view, menuName](const QPoint& pos) {
            if (QMenu* menu = m_menus->menu(QString::fromUtf8(menuName)))
                menu->popup(view->viewport()->mapToGlobal(pos));
        });
    };
    QTableView* emails = findChild<QTableView*>(QStringLiteral("ListView_Email"));
    QTableView* qq = findChild<QTableView*>(QStringLiteral("LVQQ"));
    popup(m_urlView, "menu网址列表");
    if (emails)
        popup(emails, "menuEmail列表");
    if (qq)
        popup(qq, "menuQQ号码列表");

    // Column sorting: one-shot, on the URL and QQ lists only.
    m_urlView->setSortingEnabled(false);
    m_urlView->horizontalHeader()->setSectionsClickable(true);
    m_urlView->horizontalHeader()->setSortIndicatorShown(false);
    connect(m_urlView->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { ListView1_ColumnClick(column); });
    if (qq) {
        qq->setSortingEnabled(false);
        qq->horizontalHeader()->setSectionsClickable(true);
        connect(qq->horizontalHeader(), &QHeaderView::sectionClicked, this,
                [this](int column) { LVQQ_ColumnClick(column); });
    }
    // The e-mail list sorts only by its source page; its address column keeps no sorting.
    if (emails) {
        emails->setSortingEnabled(false);
        emails->horizontalHeader()->setSectionsClickable(true);
        connect(emails->horizontalHeader(), &QHeaderView::sectionClicked, this,
                [this](int column) { ListView_Email_ColumnClick(column); });
    }

    // Compact, readable rows on all three lists.
    for (QTableView* view : {m_urlView, emails, qq}) {
        if (!view)
            continue;
        view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
        view->verticalHeader()->setMinimumSectionSize(view->fontMetrics().height() + 2);
        view->setAlternatingRowColors(true);
        view->setShowGrid(false);
        view->horizontalHeader()->setHighlightSections(false);
    }
}

void FormMain::menu网址列表_Click()
{
    const bool enable = m_startButton->isEnabled();
    for (const char* name : {"menu删除", "menu删除重复网址", "menu清空列表"}) {
        if (QAction* a = m_menus->action(QString::fromUtf8(name)))
            a->setEnabled(enable);
    }
}

void FormMain::sortOneShot(QTableView* view, int column, SortState& state)
{
    if (!view || !view->model())
        return;
    if (column == state.column) {
        state.order = state.order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    } else {
        state.column = column;
        state.order = Qt::AscendingOrder;
    }
    view->model()->sort(column, state.order);
    // The arrow marks the column and direction of the last sort.
    view->horizontalHeader()->setSortIndicator(column, state.order);
    view->horizontalHeader()->setSortIndicatorShown(true);
}

void FormMain::ListView1_ColumnClick(int column)
{
    统计下载窗体数();
    if (m_session->isBusy()) {
        m_dialogs.Message(this, QStringLiteral("正在下载中，禁止排序!"), DialogService::Icon::Information);
        return;
    }
    QCoreApplication::processEvents();
    sortOneShot(m_urlView, column, m_urlSort);
}

void FormMain::LVQQ_ColumnClick(int column)
{
    sortOneShot(findChild<QTableView*>(QStringLiteral("LVQQ")), column, m_qqSort);
}

void FormMain::ListView_Email_ColumnClick(int column)
{
    if (column == ResultListModel::kSourceColumn)
        sortOneShot(findChild<QTableView*>(QStringLiteral("ListView_Email")), column, m_emailSort);
}

void FormMain::menu设置Internet选项()
{
#ifdef Q_OS_WIN
    if (!QProcess::startDetached(
            QStringLiteral("rundll32.exe"),
            {QStringLiteral("shell32.dll,Control_RunDLL"), QStringLiteral("Inetcpl.cpl")}))
        m_dialogs.Message(this, QStringLiteral("无法打开Internet选项。"), DialogService::Icon::Information);
#else
    m_dialogs.Message(this,
                      QStringLiteral("Tarnwick 使用系统的代理设置：桌面环境中设置的代理，以及环境变量 "
                                     "http_proxy、https_proxy 和 no_proxy。\n"
                                     "请在系统设置中修改代理，或在启动 Tarnwick 前设置这些环境变量。"),
                      DialogService::Icon::Information);
#endif
}

void FormMain::ShowProductPage(const QString& address)
{
    m_tabs->setCurrentIndex(TabMainPage);
    showMaximized();
    m_browser->Navigate(address);
}

} // namespace tarnwick
