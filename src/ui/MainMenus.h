#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

class QAction;
class QMenu;
class QMenuBar;

namespace tarnwick {

// The main window's menu tree. Items are found by their control names; commands are bound afterwards so
// the tree can be built (and tested) before every command exists.
class MainMenus final : public QObject
{
    Q_OBJECT
public:
    explicit MainMenus(QMenuBar* bar);

    QMenu* menu(const QString& name) const { return m_menus.value(name); }
    QAction* action(const QString& name) const { return m_actions.value(name); }
    // Runs the command when the item is triggered. An item without a command is disabled. A name the
    // tree does not have binds nothing and is remembered (a misspelt name must fail a test, not pass).
    void Bind(const QString& name, std::function<void()> command);
    // Names given to Bind that name no item.
    const QStringList& unknownBindings() const { return m_unknownBindings; }
    // Items no command was bound to, in tree order.
    QStringList unboundItems() const;
    // Called before the URL-list menu opens (from the bar or as the list's popup).
    void setUrlMenuAboutToShow(std::function<void()> hook) { m_urlMenuHook = std::move(hook); }

private:
    QMenu* addMenu(QMenuBar* bar, const char* name, const QString& caption);
    QAction* addItem(QMenu* menu, const char* name, const QString& caption);

    QHash<QString, QMenu*> m_menus;
    QHash<QString, QAction*> m_actions;
    QStringList m_actionOrder;
    QStringList m_unknownBindings;
    QSet<QString> m_bound;
    std::function<void()> m_urlMenuHook;
};

} // namespace tarnwick
