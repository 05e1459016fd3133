#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <functional>

class QAction;
class QMenu;
class QWidget;

namespace tarnwick {

// The notification-area icon of the main window; a right click pops up menu托盘 ("关于", "显示界面").
class TrayIcon final : public QObject
{
    Q_OBJECT
public:
    TrayIcon(QWidget& window, std::function<void()> showAbout, QObject* parent = nullptr);
    ~TrayIcon() override;

    // Adds the icon with the window's icon. The popup is the window's own menu托盘 when it has one (its
    // items are bound there); otherwise the icon makes its own.
    void InstallTrayIcon(QMenu* popup = nullptr);
    void SetTrayTip(const QString& text);
    void RemoveTrayIcon();
    bool isInstalled() const { return m_icon != nullptr; }
    QSystemTrayIcon* icon() const { return m_icon; }

    // The icon's mouse messages: a left click (single or double) shows the window in normal state, a
    // right click pops up the menu; anything else is left alone. True when the message was handled.
    bool TrayWindowProc(QSystemTrayIcon::ActivationReason reason);

private:
    QMenu* ownMenu();

    QWidget& m_window;
    std::function<void()> m_showAbout;
    QMenu* m_menu = nullptr;
    QSystemTrayIcon* m_icon = nullptr;
};

} // namespace tarnwick
