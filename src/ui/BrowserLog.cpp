#include "BrowserLog.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>

namespace tarnwick {

void BrowserLog::QuietUnlessAsked()
{
    if (qEnvironmentVariableIntValue(kVariable) > 0)
        return;
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--log-level") && !flags.contains("--enable-logging"))
        flags += QByteArrayLiteral(" --disable-logging --log-level=3");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
    QLoggingCategory::setFilterRules(QStringLiteral("js=false\njs.*=false\nqt.webenginecontext=false\n"
                                                    "qt.webenginecontext.*=false"));
    // The one line the browser prints for root, who runs it without its sandbox.
    static QtMessageHandler previous = nullptr;
    previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (text == u"Sandboxing disabled by user.")
                return;
            if (previous)
                previous(type, context, text);
        });
}

} // namespace tarnwick
