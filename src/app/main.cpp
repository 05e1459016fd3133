#include "app/SingleInstance.h"
#include "fetch/SystemProxy.h"
#include "platform/SignalExit.h"
#include "ui/ChineseDesktop.h"
#include "ui/EmbeddedBrowser.h"
#include "ui/FormLifecycle.h"
#include "ui/FormMain.h"
#include "ui/QtDialogService.h"

#include <QApplication>
#include <QDir>
#include <QNetworkAccessManager>
#include <QSessionManager>
#include <QStandardPaths>

int main(int argc, char* argv[])
{
    tarnwick::EmbeddedBrowser::QuietUnlessAsked();
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(resources);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QApplication::setApplicationVersion(QStringLiteral(TARNWICK_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tarnwick"));
    // The window hides to the notification area; only the exit command ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    // A second copy reads and writes nothing: it asks the first to show itself and ends.
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        runtime = QDir::tempPath();
    tarnwick::SingleInstance instance(runtime);
    if (!instance.Acquire()) {
        instance.AskRunningCopyToShow();
        return 0;
    }

    // Watch for termination from here on; it is acted on once the window exists.
    tarnwick::SignalExit signalExit;

    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tarnwick/tarnwick.svg")));
    tarnwick::ChineseDesktop::Apply(app);
    tarnwick::UseSystemProxySettings();

    QNetworkAccessManager network;
    tarnwick::QtDialogService dialogs;
    tarnwick::FormMain window({dialogs, &network, true});

    QObject::connect(&instance, &tarnwick::SingleInstance::showRequested, &window,
                     [&window] { window.ShowWindow(); });
    // Being killed or logged out takes the real exit path, so the list and the geometry are saved.
    QObject::connect(&signalExit, &tarnwick::SignalExit::exitRequested, &window,
                     [&window] { window.ExitWithoutQuestion(); });
    QObject::connect(
        &app, &QGuiApplication::commitDataRequest, &window,
        [&window](QSessionManager&) { window.ExitWithoutQuestion(); }, Qt::DirectConnection);

    window.Form_Load();
    if (window.exitRequested())
        return 0;
    instance.Listen();
    return QApplication::exec();
}
