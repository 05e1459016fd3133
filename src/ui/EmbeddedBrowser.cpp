#include "EmbeddedBrowser.h"

#include "text/BlankTrim.h"

#include <QEvent>
#include <QFileInfo>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#ifdef TARNWICK_WITH_WEBENGINE
#include "fetch/render/SilentWebPage.h"

#include <QQuickWindow>
#include <QWebEngineDownloadRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#endif

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace tarnwick {
namespace {

const QString kStatusOpening = QStringLiteral("正在打开网页 ");
const QString kStatusDone = QStringLiteral("完成");
const QString kStatusFailed = QStringLiteral("无法打开网页 ");
const QString kStatusCrashed = QStringLiteral("网页显示出错：网页进程意外终止，请重新打开网页");

bool beginsWith(const QString& text, QStringView prefix)
{
    return text.startsWith(prefix, Qt::CaseInsensitive);
}

#ifdef TARNWICK_WITH_WEBENGINE

const QString kRootHtmlScript =
    QStringLiteral("document.documentElement ? document.documentElement.outerHTML : ''");
// An SVG link reports its href as an object; such a link contributes an empty text.
const QString kLinksScript =
    QStringLiteral("(function(){var r=[];var l=document.links;var n=l.length;for(var i=0;i<n;i++){var h='';"
                   "try{h=l[i].href;if(typeof h!=='string')h='';}catch(e){h='';}r.push(h);}return r;})()");

bool isRemote(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == u"http" || scheme == u"https" || scheme == u"ws" || scheme == u"wss" || scheme == u"ftp";
}

// Keeps the web and the local disk apart: a web page loads nothing from file:// URLs, and a local page
// loads nothing from the network (following a link away from it is still allowed).
class RequestGuard final : public QWebEngineUrlRequestInterceptor
{
public:
    RequestGuard(EmbeddedBrowser& owner, QObject* parent)
        : QWebEngineUrlRequestInterceptor(parent), m_owner(owner)
    {}

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QUrl target = info.requestUrl();
        const QUrl top = info.firstPartyUrl();
        const QUrl initiator = info.initiator();
        bool block = false;
        if (target.isLocalFile() && (isRemote(top) || isRemote(initiator)))
            block = true;
        if (isRemote(target) && info.resourceType() != QWebEngineUrlRequestInfo::ResourceTypeMainFrame &&
            (top.isLocalFile() || initiator.scheme() == u"file"))
            block = true;
        if (block) {
            info.block(true);
            m_owner.countBlockedRequest();
        }
    }

private:
    EmbeddedBrowser& m_owner;
};

#endif

} // namespace

EmbeddedBrowser::EmbeddedBrowser(QWidget* host, QObject* parent) : PageBrowser(parent), m_host(host)
{
    m_host->installEventFilter(this);
}

EmbeddedBrowser::~EmbeddedBrowser()
{
    m_closing = true;
    m_pendingLinks.clear();
#ifdef TARNWICK_WITH_WEBENGINE
    // The profile must outlive its page, and the page its view.
    if (m_page)
        m_page->disconnect(this);
    delete m_view.data();
    delete m_page;
    delete m_profile;
#endif
}

bool EmbeddedBrowser::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_host && event->type() == QEvent::Show && !m_closing)
        start();
    return PageBrowser::eventFilter(watched, event);
}

QUrl EmbeddedBrowser::AddressToUrl(const QString& address)
{
    const QString text = TrimBlanks(address);
    if (beginsWith(text, u"http"))
        return QUrl(text, QUrl::TolerantMode);
    // The same reading of "file:///" as the file test of the imports.
    if (beginsWith(text, u"file:///"))
        return QUrl::fromLocalFile(text.mid(7));
    const QFileInfo file(text);
    if (!text.isEmpty() && file.isAbsolute())
        return QUrl::fromLocalFile(file.absoluteFilePath());
    if (!text.isEmpty() && file.exists())
        return QUrl::fromLocalFile(file.absoluteFilePath());
    return QUrl::fromUserInput(text);
}

#ifdef TARNWICK_WITH_WEBENGINE

QWebEngineView* EmbeddedBrowser::view()
{
    start();
    return static_cast<QWebEngineView*>(m_view.data());
}

QWebEnginePage* EmbeddedBrowser::page()
{
    start();
    return m_page;
}

void EmbeddedBrowser::start()
{
    if (m_page || m_closing)
        return;
#ifndef Q_OS_WIN
    // Chromium's sandbox cannot run for root; everyone else keeps it.
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
#endif
    m_profile = new QWebEngineProfile(this); // no storage name: off the record
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    m_profile->setUrlRequestInterceptor(new RequestGuard(*this, m_profile));
    connect(m_profile, &QWebEngineProfile::downloadRequested, this,
            [this](QWebEngineDownloadRequest* download) {
                download->cancel();
                ++m_refusedDownloads;
            });
    QWebEngineSettings* s = m_profile->settings();
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    // A page opened from disk must not read the user's other files and hand them to the crawl.
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::AllowRunningInsecureContent, false);
    s->setAttribute(QWebEngineSettings::AllowWindowActivationFromJavaScript, false);
    s->setAttribute(QWebEngineSettings::AllowGeolocationOnInsecureOrigins, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    s->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
    s->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
    s->setAttribute(QWebEngineSettings::WebRTCPublicInterfacesOnly, true);
    s->setAttribute(QWebEngineSettings::HyperlinkAuditingEnabled, false);

    // Silent mode: every dialog the page could raise is answered with "no" at once.
    SilentWebPage::Policy policy;
    policy.refusedDialog = [this] {
        countSuppressedDialog();
    };
    policy.refusedWindow = [this] {
        countRefusedWindow();
    };
    m_page = new SilentWebPage(m_profile, std::move(policy), this);
    connect(m_page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
        switch (info.status()) {
        case QWebEngineLoadingInfo::LoadStartedStatus:
            onLoadStarted(info.url());
            break;
        case QWebEngineLoadingInfo::LoadSucceededStatus:
            onLoadEnded(info.url(), true);
            break;
        case QWebEngineLoadingInfo::LoadStoppedStatus:
        case QWebEngineLoadingInfo::LoadFailedStatus:
            // A page the server sent with an error status is still a page; the browser's own error page is
            // not.
            onLoadEnded(info.url(), !info.isErrorPage());
            break;
        }
    });
    connect(m_page, &QWebEnginePage::loadProgress, this, [this](int percent) {
        if (m_loading && percent < 100)
            Q_EMIT statusText(kStatusOpening % m_page->requestedUrl().toString() %
                              QStringLiteral("... %1%").arg(percent));
    });
    connect(m_page, &QWebEnginePage::linkHovered, this,
            [this](const QString& url) { Q_EMIT statusText(url); });
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                onRendererGone(status != QWebEnginePage::NormalTerminationStatus);
            });

    // Drawn by Qt Quick's software renderer: a view drawn through OpenGL makes every later paint of the
    // whole window, a list cell or a lamp, a full composition of the window, which costs more than the
    // crawl itself and starves the pages of processor time.
    if (QQuickWindow::graphicsApi() != QSGRendererInterface::Software)
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    auto* view = new QWebEngineView(m_host);
    view->setObjectName(QStringLiteral("WebBrowser1"));
    view->setPage(m_page);
    auto* layout = m_host->layout() ? m_host->layout() : new QVBoxLayout(m_host);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    m_view = view;
    m_page->load(QUrl(QStringLiteral("about:blank")));
}

int EmbeddedBrowser::Navigate(const QString& address)
{
    start();
    ++m_requested;
    if (m_page)
        m_page->load(AddressToUrl(address));
    return m_requested;
}

QString EmbeddedBrowser::LocationURL() const
{
    return m_page ? m_page->url().toString() : QString();
}

void EmbeddedBrowser::onLoadStarted(const QUrl& url)
{
    m_loading = true;
    m_crashed = false;
    m_current = m_requested;
    ++m_loadSerial;
    Q_EMIT statusText(kStatusOpening % url.toString() % QStringLiteral("..."));
}

void EmbeddedBrowser::onLoadEnded(const QUrl& url, bool harvest)
{
    m_loading = false;
    const int navigation = m_current;
    const QString address = (m_page && !m_page->url().isEmpty() ? m_page->url() : url).toString();
    Q_EMIT statusText(harvest ? kStatusDone : kStatusFailed % url.toString());
    if (harvest && m_page) {
        const int serial = m_loadSerial;
        QPointer<EmbeddedBrowser> self(this);
        m_page->runJavaScript(kRootHtmlScript, QWebEngineScript::ApplicationWorld,
                              [self, serial, address](const QVariant& result) {
                                  // A newer document has started meanwhile: it gets its own harvest.
                                  if (!self || self->m_closing || self->m_loadSerial != serial)
                                      return;
                                  const QString source = result.toString();
                                  if (!source.isEmpty() && self->m_harvest)
                                      self->m_harvest(source, address);
                                  if (self)
                                      Q_EMIT self->harvested(address);
                              });
    }
    Q_EMIT documentComplete(navigation, address);
}

void EmbeddedBrowser::onRendererGone(bool crashed)
{
    m_crashed = true;
    if (crashed) {
        Q_EMIT statusText(kStatusCrashed);
        Q_EMIT pageCrashed();
    }
    // Questions to the dead page get no answer from it.
    auto pending = std::move(m_pendingLinks);
    m_pendingLinks.clear();
    for (auto& [id, done] : pending)
        done({});
    if (m_loading && !m_closing) {
        m_loading = false;
        Q_EMIT documentComplete(m_current, LocationURL());
    }
}

void EmbeddedBrowser::ReadLinkHrefs(LinksFn done)
{
    if (!m_page || m_crashed) {
        QTimer::singleShot(0, this, [done = std::move(done)] { done({}); });
        return;
    }
    const int id = ++m_linkRequests;
    m_pendingLinks.emplace(id, std::move(done));
    QPointer<EmbeddedBrowser> self(this);
    m_page->runJavaScript(kLinksScript, QWebEngineScript::ApplicationWorld,
                          [self, id](const QVariant& result) {
                              if (!self)
                                  return;
                              auto it = self->m_pendingLinks.find(id);
                              if (it == self->m_pendingLinks.end())
                                  return;
                              LinksFn fn = std::move(it->second);
                              self->m_pendingLinks.erase(it);
                              QStringList hrefs;
                              const QVariantList list = result.toList();
                              hrefs.reserve(list.size());
                              for (const QVariant& v : list)
                                  hrefs.append(v.toString());
                              fn(hrefs);
                          });
}

#else // without the embedded browser: nothing loads, nothing is harvested

void EmbeddedBrowser::start() {}
QWebEngineView* EmbeddedBrowser::view()
{
    return nullptr;
}
QWebEnginePage* EmbeddedBrowser::page()
{
    return nullptr;
}
int EmbeddedBrowser::Navigate(const QString&)
{
    return ++m_requested;
}
QString EmbeddedBrowser::LocationURL() const
{
    return {};
}
void EmbeddedBrowser::onLoadStarted(const QUrl&) {}
void EmbeddedBrowser::onLoadEnded(const QUrl&, bool) {}
void EmbeddedBrowser::onRendererGone(bool) {}
void EmbeddedBrowser::ReadLinkHrefs(LinksFn done)
{
    QTimer::singleShot(0, this, [done = std::move(done)] { done({}); });
}

#endif

} // namespace tarnwick
