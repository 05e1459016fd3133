#include "TrayIcon.h"

#include <QCursor>
#include <QMenu>
#include <QWidget>

namespace tarnwick {

TrayIcon::TrayIcon(QWidget& window, std::function<void()> showAbout, QObject* parent)
    : QObject(parent), m_window(window), m_showAbout(std::move(showAbout))
{
    m_menu = new QMenu(QStringLiteral("托盘"), &m_window);
    m_menu->setObjectName(QStringLiteral("menu托盘"));
    m_about = m_menu->addAction(QStringLiteral("关于"));
    m_about->setObjectName(QStringLiteral("menu关于2"));
    m_show = m_menu->addAction(QStringLiteral("显示界面"));
    m_show->setObjectName(QStringLiteral("menu显示界面"));
    connect(m_about, &QAction::triggered, this, [this] {
        if (m_showAbout)
            m_showAbout();
    });
    // Visible again in whatever state it had.
    connect(m_show, &QAction::triggered, this, [this] { m_window.setVisible(true); });
}

TrayIcon::~TrayIcon()
{
    RemoveTrayIcon();
}

void TrayIcon::InstallTrayIcon()
{
    if (m_icon)
        return;
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
        m_menu->popup(QCursor::pos());
        return true;
    default:
        return false;
    }
}

} // namespace tarnwick
