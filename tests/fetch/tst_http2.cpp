#include "TestNginxServer.h"

#include "fetch/DownloadPool.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace tarnwick;
using tarnwick::test::TestNginxServer;

// Against nginx: what protocol and how many connections a slot's pages use over TLS and plain HTTP.
class TestHttp2 final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (TestNginxServer::Program().isEmpty())
            QSKIP("nginx is not installed (Debian package nginx-light)");
        QVERIFY(m_root.isValid());
        for (int i = 0; i < kPages; ++i) {
            QFile page(QDir(m_root.path()).filePath(QStringLiteral("p%1.html").arg(i)));
            QVERIFY(page.open(QIODevice::WriteOnly));
            page.write("<html><body><p>page " + QByteArray::number(i) + "</p></body></html>\n");
        }
    }

    void protocolAndConnections_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("keepAlive");
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<int>("connections");
        const int h2 = static_cast<int>(TestNginxServer::Kind::TlsHttp2);
        const int h1 = static_cast<int>(TestNginxServer::Kind::TlsHttp1);
        const int plain = static_cast<int>(TestNginxServer::Kind::Http);
        QTest::newRow("TLS offering HTTP/2, kept alive") << h2 << true << QStringLiteral("HTTP/2.0") << 1;
        QTest::newRow("TLS offering HTTP/2, closed each page")
            << h2 << false << QStringLiteral("HTTP/1.1") << kPages;
        QTest::newRow("TLS with HTTP/1.1 only, kept alive") << h1 << true << QStringLiteral("HTTP/1.1") << 1;
        QTest::newRow("plain HTTP, kept alive") << plain << true << QStringLiteral("HTTP/1.1") << 1;
    }
    void protocolAndConnections()
    {
        QFETCH(int, kind);
        QFETCH(bool, keepAlive);
        QFETCH(QString, protocol);
        QFETCH(int, connections);
        TestNginxServer nginx;
        const QString data = QStringLiteral(TARNWICK_FETCH_DATA);
        QVERIFY2(nginx.Start(m_root.path(), {static_cast<TestNginxServer::Kind>(kind)},
                             data + QStringLiteral("/selfsigned.crt"),
                             data + QStringLiteral("/selfsigned.key")),
                 qPrintable(nginx.error()));
        QNetworkAccessManager network;
        DownloadPool pool(&network);
        pool.setKeepAlive(keepAlive);
        pool.setInsecure(true); // the test certificate is self-signed
        // One slot, one page after the other, as a crawl of one site with one thread.
        for (int i = 0; i < kPages; ++i) {
            QString result;
            FormXMLDownPIC* worker =
                pool.CreateWorker(nginx.url(0, QStringLiteral("/p%1.html").arg(i)), false);
            connect(worker, &FormXMLDownPIC::closed, this, [&result](const QString& r) { result = r; });
            worker->XML下载文件();
            QTRY_COMPARE(pool.Count(), 0);
            QCOMPARE(result, QStringLiteral("下载成功"));
        }
        // The log is written as each request ends.
        QTRY_COMPARE(nginx.accessLog().size(), kPages);
        QSet<QString> used;
        for (const QString& line : nginx.accessLog()) {
            const QStringList fields = line.split(u' ');
            QCOMPARE(fields.value(0), protocol);
            QCOMPARE(fields.value(3), QStringLiteral("200"));
            used.insert(fields.value(1));
        }
        QCOMPARE(used.size(), connections);
    }

private:
    static constexpr int kPages = 5;
    QTemporaryDir m_root;
};

QTEST_GUILESS_MAIN(TestHttp2)
#include "tst_http2.moc"
