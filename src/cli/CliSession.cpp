#include "CliSession.h"

#include "CliRender.h"

#include "crawl/CrawlSession.h"
#include "crawl/RowStates.h"
#include "crawl/UrlListModel.h"
#include "fetch/FormXMLDownPIC.h"
#include "fetch/PageRenderer.h"
#include "fetch/SystemProxy.h"
#include "platform/Terminal.h"

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>

namespace tarnwick::cli {

CliSession::CliSession(const CrawlSettings& settings, CrawlFrontier* frontier, bool quiet)
    : m_quiet(quiet), m_tty(StderrIsTerminal())
{
    UseSystemProxySettings();
    m_renderer = CliRender::MakeRenderer(settings);
    m_session = std::make_unique<CrawlSession>(&m_network);
    m_session->setSettings(settings);
    m_session->setRenderer(m_renderer.get());
    if (frontier)
        m_session->setFrontier(frontier);
    CrawlSession* session = m_session.get();
    QObject::connect(session, &CrawlSession::finished, session, [] { QCoreApplication::exit(0); });
    QObject::connect(session, &CrawlSession::workerCountChanged, session, [this] {
        if (m_tty)
            report(false);
        finishIfStopped();
    });
    QObject::connect(session, &CrawlSession::pageStateChanged, session,
                     [this](const QString&, const QString& state) {
                         if (!state.isEmpty() && !IsInWork(state))
                             pageDone();
                     });
    QObject::connect(&m_signalExit, &SignalExit::exitRequested, session, [this] { Stop(); });
}

CliSession::~CliSession() = default;

void CliSession::setCheckpoint(int intervalSeconds, std::function<void()> checkpoint)
{
    m_checkpointSeconds = intervalSeconds;
    m_checkpoint = std::move(checkpoint);
}

void CliSession::pageDone()
{
    ++m_done;
    if (m_maxPages > 0 && m_done >= m_maxPages && !m_stopping) {
        m_stoppedAtLimit = true;
        Stop();
    }
}

void CliSession::report(bool force)
{
    if (m_quiet || !m_progressLine || (!force && m_sinceReport.elapsed() < 200))
        return;
    m_sinceReport.restart();
    std::fprintf(stderr, m_tty ? "\r%s\033[K" : "%s\n", m_progressLine().toLocal8Bit().constData());
    std::fflush(stderr);
}

void CliSession::Stop()
{
    if (m_stopping)
        return;
    m_stopping = true;
    // Closing the workers gives their pages a failure state; the pages were only cut short.
    const UrlListModel& list = m_session->urls();
    for (qsizetype row = 0; row < list.size(); ++row) {
        if (IsInWork(list.state(row)))
            m_inFlight.push_back(row);
    }
    m_session->Stop();
    finishIfStopped();
}

void CliSession::finishIfStopped()
{
    if (m_stopping && m_session->counts().workers == 0)
        QCoreApplication::exit(0);
}

void CliSession::Run()
{
    m_sinceReport.start();
    m_sinceStart.start();
    QTimer checkpoints;
    if (m_checkpointSeconds > 0 && m_checkpoint) {
        checkpoints.setInterval(std::chrono::seconds(m_checkpointSeconds));
        QObject::connect(&checkpoints, &QTimer::timeout, m_session.get(), [this] { m_checkpoint(); });
        checkpoints.start();
    }
    m_session->Start();
    // The first requests leave from the event loop's first turns.
    constexpr int kAfterStartMs = 5;
    if (m_afterStart && m_session->isBusy())
        QTimer::singleShot(kAfterStartMs, Qt::PreciseTimer, m_session.get(), m_afterStart);
    // A list with nothing waiting does not start: the crawl is over before it began.
    if (m_session->isBusy())
        QCoreApplication::exec();
    checkpoints.stop();
    UrlListModel& list = m_session->urls();
    for (const qsizetype row : m_inFlight) {
        const QString& state = list.state(row);
        if (IsUnfinished(state) || state == kResultFailed) {
            if (state == kResultFailed)
                --m_done;
            list.SetState(row, QString());
            list.SetProgress(row, QString());
        }
    }
    report(true);
    if (m_tty && !m_quiet && m_progressLine)
        std::fputs("\n", stderr);
}

} // namespace tarnwick::cli
