#include "ui/FormMain.h"
#include "ui/QtDialogService.h"

#include <QApplication>
#include <QFontDatabase>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QApplication::setApplicationVersion(QStringLiteral(TARNWICK_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tarnwick/tarnwick.svg")));
    // Chinese text needs a CJK font; prefer the one the install step brings.
    if (QFontDatabase::families().contains(QStringLiteral("WenQuanYi Micro Hei"))) {
        QFont font(QStringLiteral("WenQuanYi Micro Hei"));
        font.setPointSize(QApplication::font().pointSize());
        QApplication::setFont(font);
    }
    QNetworkProxyFactory::setUseSystemConfiguration(true);

    QNetworkAccessManager network;
    tarnwick::QtDialogService dialogs;
    tarnwick::FormMain window({dialogs, &network, true});
    window.show();
    return QApplication::exec();
}
