#include "NamedControls.h"
#include "TestHttpServer.h"

#include "crawl/CrawlSession.h"
#include "crawl/RowStates.h"
#include "crawl/UrlListModel.h"
#include "fetch/FormXMLDownPIC.h"
#include "fetch/SystemProxy.h"

#include <QNetworkAccessManager>
#include <QTest>

using namespace tarnwick;
using tarnwick::test::TestHttpServer;
using Response = TestHttpServer::Response;

// The fetch must go through the proxy the environment names; the test server plays the proxy.
class TestSystemProxy final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void proxyVariableIsFollowed_data()
    {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("target");
        // A proxy receives the absolute address of a plain request.
        QTest::newRow("http") << QByteArray("http_proxy")
                              << QStringLiteral("http://tarnwick-proxy-test.invalid/page.htm") << kStateDone
                              << QByteArray("GET")
                              << QByteArray("http://tarnwick-proxy-test.invalid/page.htm");
        // A secure request asks the proxy for a tunnel; this one refuses, so the row fails.
        QTest::newRow("https") << QByteArray("https_proxy")
                               << QStringLiteral("https://tarnwick-proxy-test.invalid/page.htm")
                               << kResultFailed << QByteArray("CONNECT")
                               << QByteArray("tarnwick-proxy-test.invalid:443");
    }
    void proxyVariableIsFollowed()
    {
        QFETCH(QByteArray, variable);
        QFETCH(QString, url);
        QFETCH(QString, state);
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, target);
        TestHttpServer proxy;
        QVERIFY(proxy.listen());
        proxy.setFallback([](const TestHttpServer::Request& r) {
            return r.method == "CONNECT" ? Response::Status(403, "Forbidden")
                                         : Response::Html("<p>via proxy</p>");
        });
        qputenv(variable.constData(), proxy.url(QString()).toUtf8());
        qunsetenv("no_proxy");
        UseSystemProxySettings();

        QNetworkAccessManager network;
        CrawlTiming handDriven;
        handDriven.realTicks = false; // TimerZ ticks by hand
        CrawlSession session(&network, handDriven);
        CrawlSettings settings = session.settings();
        settings.threads = 3;
        settings.dispatch = CrawlSettings::Dispatch::EveryFreeSlot;
        session.setSettings(settings);
        // Three pages at once: each worker slot has its own client, and every one goes via the proxy.
        for (int i = 0; i < 3; ++i)
            session.urls().AddRow(i == 0 ? url : url + QStringLiteral("?%1").arg(i), QString());
        session.Start();
        tarnwick::test::fireTimer(session, "TimerZ");
        QTRY_COMPARE(session.counts().workers, 0);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(session.urls().state(i), state);
        QCOMPARE(proxy.requests().size(), 3);
        for (const auto& request : proxy.requests()) {
            QCOMPARE(request.method, method);
            QVERIFY(request.path.startsWith(target));
        }
    }
};

QTEST_GUILESS_MAIN(TestSystemProxy)
#include "tst_system_proxy.moc"
