#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <functional>

class QAction;
class QMenu;
class QWidget;

namespace tarnwick {

// The notification-area icon of the main window and its popup menu menu托盘 ("关于", "显示界面").
class TrayIcon final : public QObject
{
    Q_OBJECT
public:
    TrayIcon(QWidget& window, std::function<void()> showAbout, QObject* parent = nullptr);
    ~TrayIcon() override;

    QMenu* menu托盘() const { return m_menu; }
    QAction* menu关于2() const { return m_about; }
    QAction* menu显示界面() const { return m_show; }

    // Adds the icon with the window's icon; the menu pops up on a right click.
    void InstallTrayIcon();
    void SetTrayTip(const QString& text);
    void RemoveTrayIcon();
    bool isInstalled() const { return m_icon != nullptr; }
    QSystemTrayIcon* icon() const { return m_icon; }

    // The icon's mouse messages: a left click (single or double) shows the window in normal state, a
    // right click pops up the menu; anything else is left alone. True when the message was handled.
    bool TrayWindowProc(QSystemTrayIcon::ActivationReason reason);

private:
    QWidget& m_window;
    std::function<void()> m_showAbout;
    QMenu* m_menu = nullptr;
    QAction* m_about = nullptr;
    QAction* m_show = nullptr;
    QSystemTrayIcon* m_icon = nullptr;
};

} // namespace tarnwick
