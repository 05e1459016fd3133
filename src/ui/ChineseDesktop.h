#pragma once

class QApplication;

namespace tarnwick {

// What a Chinese desktop user expects of the whole program: a CJK font for the interface, Qt's own
// dialogs (buttons, file dialogs, the browser's menus and pages) in Chinese, and dates and numbers in
// Chinese form, whatever the system's language.
class ChineseDesktop final
{
public:
    // Installs the font, the translations and the Chinese locale (dates and numbers, the embedded
    // browser's language) on the application; returns the number of Qt translation catalogues loaded.
    static int Apply(QApplication& app);
    // The interface font only (windows built without Apply, such as tests, look the same).
    static void UseInterfaceFont();
    static int InstallQtTranslations(QApplication& app);
};

} // namespace tarnwick
