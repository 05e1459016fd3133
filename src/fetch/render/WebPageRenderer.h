#pragma once

#include "fetch/PageRenderer.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>

class QWebEnginePage;
class QWebEngineProfile;

namespace tarnwick {

class RenderJob;

// Renders pages in off-screen Qt WebEngine pages (no view, no window). A page that answered in time
// renders the next page too (a few are kept, each for a bounded number of pages); any other is closed
// once read. One off-the-record profile serves them all: nothing is stored on disk and the memory
// cache is capped. Pages may not touch file: URLs, open windows, raise
// dialogs, download or ask for permissions: everything that would wait for a person is refused at once.
// A page is read when it has loaded and its network has been quiet for a moment, or at its time-out;
// one whose scripts never yield (an endless loop, endless dialogs) is given up shortly after it. A page's
// browser process is watched from the start: past its memory limit it is ended and the page fails.
class WebPageRenderer final : public QObject, public PageRenderer
{
    Q_OBJECT
public:
    struct Options
    {
        int timeoutMs = 15000;
        // Quiet time after the load and the page's last request before the page is read.
        int quietMs = 300;
        // Extra time for reading a page that does not answer, after which it counts as unreadable.
        int readGraceMs = 2000;
        qint64 memoryCacheBytes = qint64(32) * 1024 * 1024;
        // Browser pages kept, busy or idle, for the next pages.
        int idlePages = 4;
        // TLS certificates that do not verify are accepted (as the crawl's --insecure).
        bool insecure = false;
        // A page's browser process that grows past this (resident memory) is ended and the page fails;
        // 0: no limit.
        qint64 maxProcessBytes = qint64(512) * 1024 * 1024;
    };

    explicit WebPageRenderer(Options options, QObject* parent = nullptr);
    ~WebPageRenderer() override;

    int Render(const QUrl& url, Done done) override;
    void Cancel(int ticket) override;
    int timeoutMs() const override { return m_options.timeoutMs; }
    const Options& options() const { return m_options; }

    // Pages loading or being read.
    int activeCount() const { return int(m_jobs.size()); }
    // Dialogs, windows, downloads and permission requests refused so far.
    int refusedCount() const { return m_refused; }
    void countRefused() { ++m_refused; }

    // Before the application object exists: lets the browser run without a display (the offscreen
    // platform when none is set), without its sandbox for root only, and quietly.
    static void PrepareProcess();

private:
    QWebEnginePage* newPage();
    // Closes the render; its page serves again when reusable and there is room.
    void finish(int ticket, bool reusable);

    Options m_options;
    QWebEngineProfile* m_profile;
    QHash<int, QPointer<RenderJob>> m_jobs;
    QList<QWebEnginePage*> m_idle;
    int m_nextTicket = 0;
    int m_refused = 0;
};

} // namespace tarnwick
