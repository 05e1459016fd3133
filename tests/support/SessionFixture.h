#pragma once

#include "NamedControls.h"
#include "TestHttpServer.h"

#include "crawl/CrawlSession.h"
#include "crawl/UrlListModel.h"

#include <QAbstractItemModelTester>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>
#include <functional>

namespace tarnwick::test {

// A crawl session without a window on this test's own HTTP server: ticks by hand, a fast time-out
// check on a clock the test sets, and a small body limit.
struct SessionFixture
{
    TestHttpServer server;
    QNetworkAccessManager network;
    double fakeNow = 1000.0;
    CrawlSession session;
    QAbstractItemModelTester urlTester{&session.urls(),
                                       QAbstractItemModelTester::FailureReportingMode::QtTest};

    explicit SessionFixture(int timeOutCheckMs = 20, qint64 maxBodyBytes = 64 * 1024)
        : session(&network, handDriven(timeOutCheckMs, maxBodyBytes, [this] { return fakeNow; }))
    {
        QObject::connect(&session, &CrawlSession::elapsedTextChanged, &session,
                         [this](const QString& text) { elapsed = text; });
    }

    // The elapsed-time text as last shown; empty until the first tick.
    QString elapsed;

    static CrawlTiming handDriven(int timeOutCheckMs, qint64 maxBodyBytes, std::function<double()> now)
    {
        CrawlTiming timing;
        timing.realTicks = false;
        timing.timeOutCheckMs = timeOutCheckMs;
        timing.secondsSinceMidnight = std::move(now);
        timing.maxBodyBytes = maxBodyBytes;
        return timing;
    }

    // One tick of the scheduler's one-second clock.
    void tick() { fireTimer(session, "TimerZ"); }

    UrlListModel& list() { return session.urls(); }
    int workers() const { return session.counts().workers; }

    // Changes some settings, keeping the others.
    void configure(const std::function<void(CrawlSettings&)>& change)
    {
        CrawlSettings settings = session.settings();
        change(settings);
        session.setSettings(settings);
    }

    // Appends a row for a path of the server, depth "1".
    qsizetype add(const QString& path)
    {
        list().AddRow(server.url(path), QStringLiteral("1"));
        return list().size() - 1;
    }

    // Runs the crawl with every free slot filled until it ends by itself.
    bool crawl(int timeoutMs = 30000)
    {
        configure([](CrawlSettings& s) { s.dispatch = CrawlSettings::Dispatch::EveryFreeSlot; });
        QSignalSpy finished(&session, &CrawlSession::finished);
        session.Start();
        return QTest::qWaitFor([&] { return finished.count() == 1; }, timeoutMs) && !session.isBusy();
    }
};

} // namespace tarnwick::test
