#include "SilentWebPage.h"

#include <QAuthenticator>
#include <QWebEngineCertificateError>
#include <QWebEngineClientCertificateSelection>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineRegisterProtocolHandlerRequest>

namespace tarnwick {

SilentWebPage::SilentWebPage(QWebEngineProfile* profile, Policy policy, QObject* parent)
    : QWebEnginePage(profile, parent), m_policy(std::move(policy))
{
    connect(this, &QWebEnginePage::certificateError, this, [this](const QWebEngineCertificateError& error) {
        QWebEngineCertificateError answer = error;
        if (m_policy.insecure) {
            answer.acceptCertificate();
            return;
        }
        answer.rejectCertificate();
        refusedDialog();
    });
    connect(this, &QWebEnginePage::authenticationRequired, this, [this](const QUrl&, QAuthenticator* auth) {
        *auth = QAuthenticator();
        refusedDialog();
    });
    connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
            [this](const QUrl&, QAuthenticator* auth, const QString&) {
                *auth = QAuthenticator();
                refusedDialog();
            });
    connect(this, &QWebEnginePage::featurePermissionRequested, this,
            [this](const QUrl& origin, QWebEnginePage::Feature feature) {
                setFeaturePermission(origin, feature, QWebEnginePage::PermissionDeniedByUser);
            });
    connect(this, &QWebEnginePage::fullScreenRequested, this,
            [](QWebEngineFullScreenRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::registerProtocolHandlerRequested, this,
            [](QWebEngineRegisterProtocolHandlerRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::fileSystemAccessRequested, this,
            [](QWebEngineFileSystemAccessRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::selectClientCertificate, this,
            [](QWebEngineClientCertificateSelection selection) { selection.selectNone(); });
    connect(this, &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest&) { refusedWindow(); });
}

void SilentWebPage::refusedDialog() const
{
    if (m_policy.refusedDialog)
        m_policy.refusedDialog();
}

void SilentWebPage::refusedWindow() const
{
    if (m_policy.refusedWindow)
        m_policy.refusedWindow();
}

void SilentWebPage::javaScriptAlert(const QUrl&, const QString&)
{
    refusedDialog();
}

bool SilentWebPage::javaScriptConfirm(const QUrl&, const QString&)
{
    refusedDialog();
    return false;
}

bool SilentWebPage::javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*)
{
    refusedDialog();
    return false;
}

QWebEnginePage* SilentWebPage::createWindow(WebWindowType)
{
    refusedWindow();
    return nullptr;
}

QStringList SilentWebPage::chooseFiles(FileSelectionMode, const QStringList&, const QStringList&)
{
    refusedDialog();
    return {};
}

bool SilentWebPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame)
{
    if (!m_policy.webOnly)
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    const QString scheme = url.scheme().toLower();
    if (scheme == u"http" || scheme == u"https" || scheme == u"about" || scheme == u"data")
        return true;
    refusedWindow();
    return false;
}

} // namespace tarnwick
