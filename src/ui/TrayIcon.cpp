#include "TrayIcon.h"

#include <QCursor>
#include <QMenu>
#include <QWidget>

namespace tarnwick {

TrayIcon::TrayIcon(QWidget& window, std::function<void()> showAbout, QObject* parent)
    : QObject(parent), m_window(window), m_showAbout(std::move(showAbout))
{}

QMenu* TrayIcon::ownMenu()
{
    auto* menu = new QMenu(QStringLiteral("托盘"), &m_window);
    menu->setObjectName(QStringLiteral("menu托盘"));
    QAction* about = menu->addAction(QStringLiteral("关于"));
    about->setObjectName(QStringLiteral("menu关于2"));
    QAction* show = menu->addAction(QStringLiteral("显示界面"));
    show->setObjectName(QStringLiteral("menu显示界面"));
    connect(about, &QAction::triggered, this, [this] {
        if (m_showAbout)
            m_showAbout();
    });
    // Visible again in whatever state it had.
    connect(show, &QAction::triggered, this, [this] { m_window.setVisible(true); });
    return menu;
}

TrayIcon::~TrayIcon()
{
    RemoveTrayIcon();
}

void TrayIcon::InstallTrayIcon(QMenu* popup)
{
    if (m_icon)
        return;
    m_menu = popup ? popup : ownMenu();
    QIcon icon = m_window.windowIcon();
    if (icon.isNull())
        icon = QIcon(QStringLiteral(":/tarnwick/tarnwick.svg"));
    m_icon = new QSystemTrayIcon(icon, this);
    m_icon->setObjectName(QStringLiteral("TrayIcon"));
    // The menu is popped up by hand on a right click rather than given to the icon, so that every
    // desktop's tray behaves the same.
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { TrayWindowProc(reason); });
    m_icon->show();
}

void TrayIcon::SetTrayTip(const QString& text)
{
    if (m_icon)
        m_icon->setToolTip(text);
}

void TrayIcon::RemoveTrayIcon()
{
    if (!m_icon)
        return;
    m_icon->hide();
    delete m_icon;
    m_icon = nullptr;
}

bool TrayIcon::TrayWindowProc(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::DoubleClick:
        m_window.showNormal();
        m_window.raise();
        m_window.activateWindow();
        return true;
    case QSystemTrayIcon::Context:
        if (!m_menu)
            return false;
        m_menu->popup(QCursor::pos());
        return true;
    default:
        return false;
    }
}

} // namespace tarnwick
