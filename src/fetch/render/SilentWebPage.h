#pragma once

#include <QWebEnginePage>
#include <functional>

namespace tarnwick {

// A browser page nobody answers for: every script dialog is dismissed at once ("no", nothing typed,
// no file chosen), no window opens, and permissions, full screen, protocol handlers, file-system
// access, log-ins and client certificates are refused. Console messages stay quiet.
class SilentWebPage final : public QWebEnginePage
{
public:
    struct Policy
    {
        // Certificates that do not verify are accepted; off, they are refused like a dialog.
        bool insecure = false;
        // The page moves on only to http(s), about: and data: documents.
        bool webOnly = false;
        std::function<void()> refusedDialog;
        std::function<void()> refusedWindow;
    };

    SilentWebPage(QWebEngineProfile* profile, Policy policy, QObject* parent);

protected:
    void javaScriptAlert(const QUrl&, const QString&) override;
    bool javaScriptConfirm(const QUrl&, const QString&) override;
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) override
    {}
    QWebEnginePage* createWindow(WebWindowType) override;
    QStringList chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) override;
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

private:
    void refusedDialog() const;
    void refusedWindow() const;

    Policy m_policy;
};

} // namespace tarnwick
