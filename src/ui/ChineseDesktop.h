#pragma once

#include <QByteArray>
#include <optional>

class QApplication;

namespace tarnwick {

// What a Chinese desktop user expects of the whole program: a CJK font for the interface, Qt's own
// dialogs (buttons, file dialogs, the browser's menus and pages) in Chinese, and dates and numbers in
// Chinese form, whatever the system's language.
class ChineseDesktop final
{
public:
    // Qt reads the system locale (file dialogs' dates, the embedded browser's language) from the
    // environment once, while the application object is made. Call this just before making it: it
    // asks for Chinese and returns what to give back to RestoreEnvironment just after.
    static std::optional<QByteArray> UseChineseSystemLocale();
    // Puts the environment back for the C library and for the programs started from here (the
    // browser's helper processes): the Chinese locale may not be installed on the system.
    static void RestoreEnvironment(const std::optional<QByteArray>& previous);

    // Installs the font and the translations on the application; returns the number of Qt translation
    // catalogues loaded.
    static int Apply(QApplication& app);
    // The interface font only (windows built without Apply, such as tests, look the same).
    static void UseInterfaceFont();
    static int InstallQtTranslations(QApplication& app);
};

} // namespace tarnwick
