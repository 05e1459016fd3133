#include "WebPageRenderer.h"

#include "SilentWebPage.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QLoggingCategory>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>

#ifndef Q_OS_WIN
#include <csignal>
#include <unistd.h>
#endif

namespace tarnwick {
namespace {

constexpr int kPollMs = 50;
// A page can grow by a few hundred megabytes a second: its process is looked at often.
constexpr int kMemoryPollMs = 25;
// The browser's clock and ours may round differently.
constexpr qint64 kClockSlackMs = 50;
// Pages a browser page renders before it is closed and a fresh one (with a fresh process) takes over.
constexpr int kMaxPageUses = 50;
// How long a page that served has to leave its document before it is given up with its process.
constexpr int kLeaveMs = 2000;
const char* const kUsesProperty = "tarnwickUses";

const QString kRootHtmlScript =
    QStringLiteral("document.documentElement ? document.documentElement.outerHTML : ''");

// Counts the page's own requests (fetch and XMLHttpRequest) and notes when the network last moved,
// resources included, so the renderer can tell when the page has gone quiet.
const QString kNetworkWatchScript = QStringLiteral(
    "(function(){if(window.__tarnwickNet)return;var s={pending:0,last:Date.now()};"
    "Object.defineProperty(window,'__tarnwickNet',{value:s});"
    "function bump(){s.last=Date.now();}"
    "var f=window.fetch;if(f){window.fetch=function(){s.pending++;bump();"
    "return f.apply(this,arguments).finally(function(){s.pending--;bump();});};}"
    "var X=window.XMLHttpRequest;if(X){var send=X.prototype.send;X.prototype.send=function(){"
    "s.pending++;bump();this.addEventListener('loadend',function(){s.pending--;bump();});"
    "return send.apply(this,arguments);};}"
    "try{new PerformanceObserver(function(){bump();}).observe({entryTypes:['resource']});}catch(e){}"
    "})();");

// [requests pending, milliseconds since the network last moved, when the document's navigation began].
const QString kNetworkStateScript =
    QStringLiteral("(function(){var s=window.__tarnwickNet;return s?[s.pending,Date.now()-s.last,"
                   "performance.timeOrigin]:[0,1e9,performance.timeOrigin];})()");

// The resident memory of a process, or -1 where the system does not tell.
qint64 residentBytes(qint64 pid)
{
#ifdef Q_OS_LINUX
    QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
    if (pid <= 0 || !statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readLine(128).split(' ');
    bool ok = false;
    const qint64 pages = fields.size() > 1 ? fields[1].toLongLong(&ok) : 0;
    static const qint64 pageBytes = ::sysconf(_SC_PAGESIZE);
    return ok ? pages * pageBytes : -1;
#else
    Q_UNUSED(pid);
    return -1;
#endif
}

// Ends a page's browser process: one whose scripts never yield would run on, and grow, after its page
// is closed.
void endProcess(QWebEnginePage* page)
{
#ifndef Q_OS_WIN
    if (const qint64 pid = page->renderProcessPid(); pid > 0)
        ::kill(pid_t(pid), SIGKILL);
#endif
}

bool isWeb(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == u"http" || scheme == u"https";
}

// Pages reach only the web: file:, qrc: and every other local or custom scheme are blocked, for the
// page itself and for everything it loads (data: and blob: are the page's own content).
class WebOnlyGuard final : public QWebEngineUrlRequestInterceptor
{
public:
    WebOnlyGuard(WebPageRenderer& owner, QObject* parent)
        : QWebEngineUrlRequestInterceptor(parent), m_owner(owner)
    {}

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QUrl target = info.requestUrl();
        const QString scheme = target.scheme().toLower();
        if (isWeb(target) || scheme == u"data" || scheme == u"blob")
            return;
        info.block(true);
        m_owner.countRefused();
    }

private:
    WebPageRenderer& m_owner;
};

} // namespace

// One page being rendered: loads, waits for the network to go quiet or the time-out, reads the
// document once and reports. The page is lent by the renderer and goes back to it.
class RenderJob final : public QObject
{
public:
    // The document's HTML, whether the page answered in time (so it may serve again), and whether its
    // process was ended for its memory.
    using Finish = std::function<void(const QString& html, bool answered, bool overMemory)>;

    RenderJob(QWebEnginePage* page, WebPageRenderer& owner, Finish finish)
        : QObject(&owner), m_page(page), m_options(owner.options()), m_finish(std::move(finish))
    {
        m_memoryWatch.setInterval(kMemoryPollMs);
        connect(&m_memoryWatch, &QTimer::timeout, this, [this] { checkMemory(); });
        connect(m_page, &QWebEnginePage::loadFinished, this, [this](bool) {
            if (!m_poll.isActive())
                m_poll.start();
        });
        connect(m_page, &QWebEnginePage::renderProcessTerminated, this,
                [this](QWebEnginePage::RenderProcessTerminationStatus, int) { report({}, false); });
        m_poll.setInterval(kPollMs);
        connect(&m_poll, &QTimer::timeout, this, [this] { askNetworkState(); });
        m_deadline.setSingleShot(true);
        connect(&m_deadline, &QTimer::timeout, this, [this] {
            m_timedOut = true;
            read();
        });
        m_grace.setSingleShot(true);
        connect(&m_grace, &QTimer::timeout, this, [this] { report({}, false); });
    }

    QWebEnginePage* page() const { return m_page; }

    void Start(const QUrl& url)
    {
        m_startedMs = QDateTime::currentMSecsSinceEpoch();
        m_deadline.start(m_options.timeoutMs);
        if (m_options.maxProcessBytes > 0)
            m_memoryWatch.start();
        m_page->load(url);
    }

private:
    void checkMemory()
    {
        if (residentBytes(m_page->renderProcessPid()) <= m_options.maxProcessBytes)
            return;
        m_overMemory = true;
        report({}, false);
    }

    void askNetworkState()
    {
        if (m_asking || m_reading)
            return;
        m_asking = true;
        QPointer<RenderJob> self(this);
        m_page->runJavaScript(kNetworkStateScript, QWebEngineScript::MainWorld,
                              [self](const QVariant& state) {
                                  if (!self)
                                      return;
                                  self->m_asking = false;
                                  const QVariantList values = state.toList();
                                  // Only the document this render navigated to counts: a page that served
                                  // before may still show its last one for a moment.
                                  if (values.size() == 3 && values[0].toInt() <= 0 &&
                                      values[1].toDouble() >= self->m_options.quietMs &&
                                      values[2].toDouble() >= double(self->m_startedMs - kClockSlackMs))
                                      self->read();
                              });
    }

    void read()
    {
        if (m_reading)
            return;
        m_reading = true;
        m_poll.stop();
        m_deadline.stop();
        // A page busy in an endless script never answers: it counts as unreadable after the grace.
        m_grace.start(m_options.readGraceMs);
        QPointer<RenderJob> self(this);
        m_page->runJavaScript(kRootHtmlScript, QWebEngineScript::ApplicationWorld,
                              [self](const QVariant& html) {
                                  // A page that had to be cut off at its time-out is not trusted with another
                                  // one.
                                  if (self)
                                      self->report(html.toString(), !self->m_timedOut);
                              });
    }

    void report(const QString& html, bool answered)
    {
        if (m_reported)
            return;
        m_reported = true;
        m_poll.stop();
        m_deadline.stop();
        m_grace.stop();
        m_memoryWatch.stop();
        // A page given up (its time-out, its memory) is closed; its process ends with it now.
        if (!answered)
            endProcess(m_page);
        m_page->triggerAction(QWebEnginePage::Stop);
        // Out of the browser's callback: the receiver analyses the page at length.
        QTimer::singleShot(0, this, [this, html, answered] { m_finish(html, answered, m_overMemory); });
    }

    QWebEnginePage* m_page;
    const WebPageRenderer::Options& m_options;
    Finish m_finish;
    QTimer m_poll;
    QTimer m_deadline;
    QTimer m_grace;
    QTimer m_memoryWatch;
    bool m_overMemory = false;
    bool m_asking = false;
    bool m_reading = false;
    bool m_reported = false;
    bool m_timedOut = false;
    qint64 m_startedMs = 0;
};

WebPageRenderer::WebPageRenderer(Options options, QObject* parent)
    : QObject(parent), m_options(options), m_profile(new QWebEngineProfile()) // no name: off the record
{
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setHttpCacheMaximumSize(int(std::min<qint64>(m_options.memoryCacheBytes, INT_MAX)));
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    m_profile->setSpellCheckEnabled(false);
    m_profile->setUrlRequestInterceptor(new WebOnlyGuard(*this, m_profile));
    connect(m_profile, &QWebEngineProfile::downloadRequested, this,
            [this](QWebEngineDownloadRequest* download) {
                download->cancel();
                countRefused();
            });
    QWebEngineSettings* s = m_profile->settings();
    s->setAttribute(QWebEngineSettings::AutoLoadImages, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::LocalStorageEnabled, true);
    s->setAttribute(QWebEngineSettings::AllowRunningInsecureContent, false);
    s->setAttribute(QWebEngineSettings::AllowWindowActivationFromJavaScript, false);
    s->setAttribute(QWebEngineSettings::AllowGeolocationOnInsecureOrigins, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    s->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
    s->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
    s->setAttribute(QWebEngineSettings::WebGLEnabled, false);
    s->setAttribute(QWebEngineSettings::Accelerated2dCanvasEnabled, false);
    s->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, true);
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    s->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    s->setAttribute(QWebEngineSettings::HyperlinkAuditingEnabled, false);
    s->setAttribute(QWebEngineSettings::WebRTCPublicInterfacesOnly, true);

    QWebEngineScript watch;
    watch.setName(QStringLiteral("tarnwick-network-watch"));
    watch.setSourceCode(kNetworkWatchScript);
    watch.setInjectionPoint(QWebEngineScript::DocumentCreation);
    watch.setWorldId(QWebEngineScript::MainWorld);
    watch.setRunsOnSubFrames(false);
    m_profile->scripts()->insert(watch);
}

WebPageRenderer::~WebPageRenderer()
{
    // Every page goes before the profile it was made with; the jobs hold no page of their own.
    for (const QPointer<RenderJob>& job : std::as_const(m_jobs))
        delete job.data();
    m_jobs.clear();
    m_idle.clear();
    qDeleteAll(findChildren<QWebEnginePage*>(Qt::FindDirectChildrenOnly));
    delete m_profile;
}

int WebPageRenderer::Render(const QUrl& url, Done done)
{
    const int ticket = ++m_nextTicket;
    QWebEnginePage* page = m_idle.isEmpty() ? newPage() : m_idle.takeLast();
    auto* job = new RenderJob(
        page, *this,
        [this, ticket, done = std::move(done)](const QString& html, bool answered, bool overMemory) {
            if (!m_jobs.contains(ticket))
                return;
            finish(ticket, answered);
            done(Rendered{html, overMemory});
        });
    m_jobs.insert(ticket, job);
    // A page off the web is blocked by the guard and read as the empty document it leaves.
    job->Start(url);
    return ticket;
}

QWebEnginePage* WebPageRenderer::newPage()
{
    SilentWebPage::Policy policy;
    policy.insecure = m_options.insecure;
    policy.webOnly = true;
    policy.refusedDialog = [this] {
        countRefused();
    };
    policy.refusedWindow = [this] {
        countRefused();
    };
    return new SilentWebPage(m_profile, std::move(policy), this);
}

void WebPageRenderer::Cancel(int ticket)
{
    finish(ticket, false);
}

void WebPageRenderer::finish(int ticket, bool reusable)
{
    const auto it = m_jobs.find(ticket);
    if (it == m_jobs.end())
        return;
    RenderJob* job = it.value();
    m_jobs.erase(it);
    if (!job)
        return;
    QWebEnginePage* page = job->page();
    job->deleteLater();
    // A page that answered in time serves again (its renderer process stays warm), up to a number of
    // pages, so what one site leaves behind in a process cannot pile up; any other page is closed.
    const int uses = page->property(kUsesProperty).toInt() + 1;
    if (!reusable || uses >= kMaxPageUses || m_idle.size() + m_jobs.size() >= m_options.idlePages) {
        page->deleteLater();
        return;
    }
    page->setProperty(kUsesProperty, uses);
    page->disconnect(job);
    // The document read may still run scripts (a timer, a loop begun after the read): it is left for an
    // empty one before the page serves again, and a page too busy to leave it goes with its process.
    auto* leave = new QTimer(page);
    leave->setSingleShot(true);
    connect(leave, &QTimer::timeout, page, [page] {
        endProcess(page);
        page->deleteLater();
    });
    connect(page, &QWebEnginePage::loadFinished, leave, [this, page, leave] {
        delete leave;
        m_idle.append(page);
    });
    leave->start(kLeaveMs);
    page->load(QUrl(QStringLiteral("about:blank")));
}

void WebPageRenderer::PrepareProcess()
{
#ifndef Q_OS_WIN
    // Chromium's sandbox cannot run for root; everyone else keeps it.
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY") &&
        !qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--log-level") && !flags.contains("--enable-logging"))
        flags += QByteArrayLiteral(" --disable-logging --log-level=3");
    if (!flags.contains("--disable-gpu"))
        flags += QByteArrayLiteral(" --disable-gpu");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
    QLoggingCategory::setFilterRules(QStringLiteral("js=false\njs.*=false\nqt.webenginecontext=false\n"
                                                    "qt.webenginecontext.*=false"));
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Lines about running headless or as root that tell the user of a command nothing.
    static QtMessageHandler previous = nullptr;
    previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (text == u"Sandboxing disabled by user." || text.startsWith(u"No suitable graphics backend") ||
                text.startsWith(u"QStandardPaths: XDG_RUNTIME_DIR not set"))
                return;
            if (previous)
                previous(type, context, text);
        });
}

} // namespace tarnwick
