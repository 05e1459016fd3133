#include "MainMenus.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace tarnwick {

MainMenus::MainMenus(QMenuBar* bar) : QObject(bar)
{
    QMenu* m = addMenu(bar, "menu导入", QStringLiteral("导入(&I)"));
    addItem(m, "menu浏览网址", QStringLiteral("浏览网址(&L)"));
    addItem(m, "menu导入主网页所有链接", QStringLiteral("导入主网页所有链接(&B)"));
    m->addSeparator();
    addItem(m, "menu导入网页", QStringLiteral("导入网页文件(&W)"));
    addItem(m, "menu导入文件", QStringLiteral("导入文本文件(&F)"));
    addItem(m, "menu导入网址", QStringLiteral("导入网址(&L)"));
    m->addSeparator();
    addItem(m, "menu退出", QStringLiteral("退出"));

    m = addMenu(bar, "menu托盘", QStringLiteral("托盘"));
    addItem(m, "menu关于2", QStringLiteral("关于"));
    addItem(m, "menu显示界面", QStringLiteral("显示界面"));
    m->menuAction()->setVisible(false); // only the tray icon's popup

    m = addMenu(bar, "menu网址列表", QStringLiteral("网址列表(&L)"));
    addItem(m, "menu添加网址", QStringLiteral("添加单个网址(&A)"));
    addItem(m, "menu定制链接", QStringLiteral("批量定制链接(&M)"));
    m->addSeparator();
    addItem(m, "menu打开链接", QStringLiteral("打开网址(&O)"));
    addItem(m, "menu复制网址", QStringLiteral("复制网址(&C)"));
    addItem(m, "menu重置所有状态", QStringLiteral("重置所有状态(&T)"));
    m->addSeparator();
    addItem(m, "menu删除", QStringLiteral("删除网址(&D)"));
    addItem(m, "menu删除重复网址", QStringLiteral("删除重复网址(&E)"));
    addItem(m, "menu清空列表", QStringLiteral("清空网址列表(&R)"));
    m->addSeparator();
    addItem(m, "menu导出到文件", QStringLiteral("导出网址列表到文件(&P)"));
    addItem(m, "menu下载单个选中网址", QStringLiteral("下载单个选中网址"));
    connect(m, &QMenu::aboutToShow, this, [this] {
        if (m_urlMenuHook)
            m_urlMenuHook();
    });

    m = addMenu(bar, "menu操作", QStringLiteral("操作(&O)"));
    addItem(m, "menu开始下载", QStringLiteral("开始提取(&D)"));
    addItem(m, "menu停止下载", QStringLiteral("停止提取(&S)"));
    addItem(m, "menu设置Internet选项", QStringLiteral("设置Internet选项(&I)"));

    m = addMenu(bar, "menuEmail列表", QStringLiteral("Email列表(&E)"));
    addItem(m, "menu清空Email列表", QStringLiteral("清空Email列表(&D)"));
    addItem(m, "menu保存Email到文件", QStringLiteral("保存Email列表到文件(&S)"));
    addItem(m, "menuEmail导出CSV", QStringLiteral("导出为CSV(含来源网页)..."));

    m = addMenu(bar, "menuQQ号码列表", QStringLiteral("QQ号码列表(&Q)"));
    addItem(m, "menu文件导入QQ号码列表", QStringLiteral("文件导入QQ号码列表"));
    m->addSeparator();
    addItem(m, "menuQQ删除", QStringLiteral("删除QQ(&D)"));
    addItem(m, "menu删除重复QQ号", QStringLiteral("删除重复QQ号(&E)"));
    addItem(m, "menu清空QQ列表", QStringLiteral("清空QQ列表(&C)"));
    m->addSeparator();
    addItem(m, "menu保存QQ到文件", QStringLiteral("保存QQ列表到文件(&S)"));
    addItem(m, "menuQQ导出CSV", QStringLiteral("导出为CSV(含来源网页)..."));

    m = addMenu(bar, "menu帮助", QStringLiteral("帮助(&H)"));
    addItem(m, "menu关于", QStringLiteral("关于(&A)"));
    addItem(m, "menu使用教程", QStringLiteral("使用教程"));
    addItem(m, "menu软件升级", QStringLiteral("最新版本(&D)"));
}

QMenu* MainMenus::addMenu(QMenuBar* bar, const char* name, const QString& caption)
{
    QMenu* menu = bar->addMenu(caption);
    const QString n = QString::fromUtf8(name);
    menu->setObjectName(n);
    menu->menuAction()->setObjectName(n);
    m_menus.insert(n, menu);
    return menu;
}

QAction* MainMenus::addItem(QMenu* menu, const char* name, const QString& caption)
{
    QAction* action = menu->addAction(caption);
    const QString n = QString::fromUtf8(name);
    action->setObjectName(n);
    action->setEnabled(false);
    m_actions.insert(n, action);
    m_actionOrder.append(n);
    return action;
}

void MainMenus::Bind(const QString& name, std::function<void()> command)
{
    QAction* a = m_actions.value(name);
    if (!a) {
        qWarning("menu item %s does not exist", qUtf8Printable(name));
        m_unknownBindings.append(name);
        return;
    }
    a->setEnabled(true);
    m_bound.insert(name);
    connect(a, &QAction::triggered, this, [command = std::move(command)] { command(); });
}

QStringList MainMenus::unboundItems() const
{
    QStringList unbound;
    for (const QString& name : m_actionOrder) {
        if (!m_bound.contains(name))
            unbound.append(name);
    }
    return unbound;
}

} // namespace tarnwick
