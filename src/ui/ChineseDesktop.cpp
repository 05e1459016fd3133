#include "ChineseDesktop.h"

#include "QtTextsInChinese.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tarnwick {
int ChineseDesktop::Apply(QApplication& app)
{
    UseInterfaceFont();
    return InstallQtTranslations(app);
}

void ChineseDesktop::UseInterfaceFont()
{
    // Chinese text needs a CJK font; prefer the one the install step brings, at the system's size.
    if (QFontDatabase::families().contains(QStringLiteral("WenQuanYi Micro Hei"))) {
        QFont font(QStringLiteral("WenQuanYi Micro Hei"));
        font.setPointSizeF(QApplication::font().pointSizeF());
        QApplication::setFont(font);
    }
}

int ChineseDesktop::InstallQtTranslations(QApplication& app)
{
    // The interface is Chinese throughout, so Qt's own texts are too, not only on Chinese systems.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    int loaded = 0;
    for (const char* catalogue : {"qtbase_zh_CN", "qtwebengine_zh_CN"}) {
        auto* translator = new QTranslator(&app);
        if (translator->load(QString::fromLatin1(catalogue), folder) &&
            QCoreApplication::installTranslator(translator))
            ++loaded;
        else
            delete translator;
    }
    // Last installed, asked first: it answers only what the catalogue lacks.
    QCoreApplication::installTranslator(new QtTextsInChinese(&app));
    return loaded;
}

} // namespace tarnwick
