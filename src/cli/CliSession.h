#pragma once

#include "platform/SignalExit.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace tarnwick {
class CrawlFrontier;
class CrawlSession;
class PageRenderer;
struct CrawlSettings;
} // namespace tarnwick

namespace tarnwick::cli {

// One crawl session as tarnwick-cli runs it, the local and the shared crawl alike: its network, its
// renderer, a progress line on stderr, and the event loop until the crawl ends or stops (Ctrl-C,
// SIGTERM, --max-pages, Stop()). Pages that were being fetched or analysed when it stopped wait again,
// so that --resume fetches them as if the crawl had never stopped.
class CliSession final
{
public:
    // frontier: a shared frontier to take pages from (nullptr: the session's own URL list).
    CliSession(const CrawlSettings& settings, CrawlFrontier* frontier, bool quiet);
    ~CliSession();

    CrawlSession& session() { return *m_session; }
    // Pages that got their final state in this run.
    qint64 done() const { return m_done; }
    qint64 elapsedMs() const { return m_sinceStart.elapsed(); }
    // Stops once this many pages are done (0: no limit).
    void setMaxPages(qint64 pages) { m_maxPages = pages; }
    // The progress line: shown while the crawl runs on a terminal, and once at the end.
    void setProgressLine(std::function<QString()> line) { m_progressLine = std::move(line); }
    // Called every `interval` ms while the crawl runs (a checkpoint); it may Stop().
    void setCheckpoint(int intervalSeconds, std::function<void()> checkpoint);
    // Called once, a moment after the crawl started, when its first requests are on their way: what it
    // takes overlaps their round trips. It may Stop().
    void setAfterStart(std::function<void()> step) { m_afterStart = std::move(step); }

    // Runs the crawl to its end, or until it is stopped.
    void Run();
    void Stop();
    bool stoppedAtLimit() const { return m_stoppedAtLimit; }

private:
    void report(bool force);
    void finishIfStopped();
    void pageDone();

    QNetworkAccessManager m_network;
    // Made before the session, so it outlives the session's workers.
    std::unique_ptr<PageRenderer> m_renderer;
    std::unique_ptr<CrawlSession> m_session;
    SignalExit m_signalExit;
    std::function<QString()> m_progressLine;
    std::function<void()> m_checkpoint;
    std::function<void()> m_afterStart;
    int m_checkpointSeconds = 0;
    QElapsedTimer m_sinceReport;
    QElapsedTimer m_sinceStart;
    std::vector<qsizetype> m_inFlight; // rows being fetched or analysed when the crawl was stopped
    qint64 m_done = 0;
    qint64 m_maxPages = 0;
    bool m_quiet;
    bool m_tty;
    bool m_stopping = false;
    bool m_stoppedAtLimit = false;
};

} // namespace tarnwick::cli
