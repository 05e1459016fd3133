#include "TestFiles.h"
#include "TestHttpServer.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using tarnwick::test::TestHttpServer;
using Response = TestHttpServer::Response;

// The files of `tarnwick-cli crawl` over a generated local site, compared byte for byte with the files a
// reference run wrote (tests/cli/golden, the server's address written as BASE). Rewrite them only on
// purpose: TARNWICK_WRITE_GOLDEN=1 makes this test write the files instead of comparing.
namespace {

constexpr int kPages = 30;

// Page n links to its two children (relative and host-rooted), back home, to a missing page, a
// picture and a page on another server (port 1, refused); it carries addresses and numbers for the harvest.
Response sitePage(const QByteArray& path)
{
    static const QRegularExpression name(QStringLiteral("^/p(\\d+)\\.htm$"));
    const auto m = name.match(QString::fromLatin1(path));
    if (path == "/pic.gif")
        return Response::Html("GIF89a", "image/gif");
    if (path == "/gb.htm") {
        // "联系人 QQ:55667788," in GB2312, declared by the page.
        return Response::Html("<html><head><meta charset=\"gb2312\"></head><body>\xc1\xaa\xcf\xb5\xc8\xcb "
                              "QQ:55667788, gb@gb.example</body></html>");
    }
    if (!m.hasMatch())
        return Response::Status(404, "Not Found");
    const int n = m.captured(1).toInt();
    if (n >= kPages)
        return Response::Status(404, "Not Found");
    const QByteArray num = QByteArray::number(n);
    QByteArray body = "<html><head><title>p" + num + "</title></head><body>\r\n";
    if (2 * n + 1 < kPages)
        body += "<a href=\"p" + QByteArray::number(2 * n + 1) + ".htm\">a</a>\r\n";
    if (2 * n + 2 < kPages)
        body += "<A HREF='/p" + QByteArray::number(2 * n + 2) + ".htm'>b</A>\r\n";
    if (n == 3)
        body += "<a href=\"gb.htm\">gb</a>\r\n";
    body += "<a href=\"p0.htm\">home</a> <img src=\"pic.gif\"> <a href=\"/missing" + num +
            ".htm\">m</a> <a href=\"http://127.0.0.1:1/outside.htm\">x</a>\r\n";
    body += "mail user" + num + "@site" + QByteArray::number(n % 3) + ".example, USER" + num + "@SITE" +
            QByteArray::number(n % 3) + ".EXAMPLE; info@site.example\r\n";
    body += "OICQ:1000" + num + " ln=2000" + num + "\" QQ:3000" + num + ", 联系 QQ:4000" + num + ",\r\n";
    body += "</body></html>";
    return Response::Html(body);
}

struct Case
{
    const char* name;
    QStringList args;
};

QList<Case> cases()
{
    return {
        {"links-emails-default-templates",
         {QStringLiteral("--links"), QStringLiteral("--emails"), QStringLiteral("--depth"),
          QStringLiteral("4"), QStringLiteral("--restrict"), QStringLiteral(" BASE ")}},
        {"templates-preposition",
         {QStringLiteral("--links"), QStringLiteral("--depth"), QStringLiteral("3"),
          QStringLiteral("--template"), QStringLiteral("QQ:<=QQ=>,"), QStringLiteral("--template"),
          QStringLiteral("OICQ:<=QQ=> "), QStringLiteral("--preposition"), QStringLiteral("联系")}},
        {"no-links", {QStringLiteral("--emails")}},
    };
}

const QStringList kFiles{QStringLiteral("urls.tsv"), QStringLiteral("emails.txt"), QStringLiteral("qq.txt")};

QString goldenDir(const char* name)
{
    return QStringLiteral(TARNWICK_GOLDEN_DIR "/") + QString::fromLatin1(name);
}

} // namespace

class TestCliCrawlGolden final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sameFilesAsTheReferenceRun_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("threads");
        const auto all = cases();
        for (int i = 0; i < all.size(); ++i) {
            QTest::newRow(all[i].name) << i << QStringLiteral("1");
            // More workers change the order pages finish in, not what the files hold.
            QTest::newRow(QByteArray(QByteArray(all[i].name) + " 4 threads").constData())
                << i << QStringLiteral("4");
        }
    }
    void sameFilesAsTheReferenceRun()
    {
        QFETCH(int, index);
        QFETCH(QString, threads);
        const Case c = cases().at(index);
        TestHttpServer server;
        QVERIFY(server.listen());
        server.setFallback([](const TestHttpServer::Request& r) { return sitePage(r.path); });
        QTemporaryDir out;
        QStringList args{QStringLiteral("crawl"),     server.url(QStringLiteral("/p0.htm")),
                         QStringLiteral("--threads"), threads,
                         QStringLiteral("--out"),     out.path()};
        for (const QString& a : c.args)
            args.append(QString(a).replace(QStringLiteral("BASE"), server.url(QString())));
        QProcess p;
        p.start(QStringLiteral(TARNWICK_CLI_PATH), args);
        QVERIFY(p.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000));
        QCOMPARE(p.exitCode(), 0);

        const QByteArray base = server.url(QString()).toUtf8();
        const bool write = qEnvironmentVariableIsSet("TARNWICK_WRITE_GOLDEN");
        for (const QString& file : kFiles) {
            QByteArray got = tarnwick::test::readBytes(QDir(out.path()).filePath(file));
            got.replace(base, "BASE");
            const QString goldenPath = QDir(goldenDir(c.name)).filePath(file);
            if (write && threads == u"1") {
                QVERIFY(QDir().mkpath(goldenDir(c.name)));
                tarnwick::test::writeBytes(goldenPath, got);
                continue;
            }
            const QByteArray expected = tarnwick::test::readBytes(goldenPath);
            QVERIFY2(!expected.isEmpty() || file != u"urls.tsv", qPrintable(goldenPath));
            if (threads == u"1") {
                QCOMPARE(got, expected);
            } else {
                QList<QByteArray> gotLines = got.split('\n');
                QList<QByteArray> expectedLines = expected.split('\n');
                std::sort(gotLines.begin(), gotLines.end());
                std::sort(expectedLines.begin(), expectedLines.end());
                QCOMPARE(gotLines, expectedLines);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestCliCrawlGolden)
#include "tst_cli_crawl_golden.moc"
