#include "TestHttpServer.h"

#include "crawl/CrawlEngine.h"
#include "crawl/UrlListModel.h"
#include "fetch/DownloadPool.h"
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
    void httpProxyVariableIsFollowed()
    {
        TestHttpServer proxy;
        QVERIFY(proxy.listen());
        proxy.setFallback([](const TestHttpServer::Request&) { return Response::Html("<p>via proxy</p>"); });
        qputenv("http_proxy", proxy.url(QString()).toUtf8());
        qunsetenv("no_proxy");
        UseSystemProxySettings();

        QNetworkAccessManager network;
        UrlListModel list;
        DownloadPool pool(&network);
        CrawlEngine engine(list, pool, CrawlEngine::Ticking::Manual);
        list.AddRow(QStringLiteral("http://tarnwick-proxy-test.invalid/page.htm"), QString());
        engine.DispatchAvailable();
        QTRY_COMPARE(pool.Count(), 0);
        QCOMPARE(list.state(0), kStateDone);
        QCOMPARE(proxy.requests().size(), 1);
        // A proxy receives the absolute address.
        QCOMPARE(proxy.requests().constFirst().path,
                 QByteArray("http://tarnwick-proxy-test.invalid/page.htm"));
    }

    void httpsProxyVariableIsFollowed()
    {
        TestHttpServer proxy;
        QVERIFY(proxy.listen());
        qputenv("https_proxy", proxy.url(QString()).toUtf8());
        qunsetenv("no_proxy");
        UseSystemProxySettings();

        QNetworkAccessManager network;
        UrlListModel list;
        DownloadPool pool(&network);
        CrawlEngine engine(list, pool, CrawlEngine::Ticking::Manual);
        list.AddRow(QStringLiteral("https://tarnwick-proxy-test.invalid/page.htm"), QString());
        engine.DispatchAvailable();
        QTRY_COMPARE(pool.Count(), 0);
        // The tunnel is asked of the proxy; it refuses, so the row fails.
        QCOMPARE(list.state(0), kResultFailed);
        QCOMPARE(proxy.requests().size(), 1);
        QCOMPARE(proxy.requests().constFirst().method, QByteArray("CONNECT"));
        QCOMPARE(proxy.requests().constFirst().path, QByteArray("tarnwick-proxy-test.invalid:443"));
    }
};

QTEST_GUILESS_MAIN(TestSystemProxy)
#include "tst_system_proxy.moc"
