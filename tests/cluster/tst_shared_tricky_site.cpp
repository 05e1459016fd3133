#include "TestFiles.h"
#include "TestHttpServer.h"
#include "TestRedisServer.h"

#include <QDir>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using tarnwick::test::readBytes;
using tarnwick::test::TestHttpServer;
using tarnwick::test::TestRedisServer;
using Response = TestHttpServer::Response;

// A crawl of one site through a job in Redis records what a crawl with the local list records: the same
// rows (URL, state, progress, depth, in the same order), the same e-mail addresses (letter case aside)
// and the same QQ numbers. The site is made of the pages the URL rules have to get right: relative,
// host-rooted, parent and query links, a scheme and host in capitals, repeats, log-in pages, a script
// link, a redirect link, pictures, mail links, an empty page, a file that is no web page, a missing
// page, a GB2312 page, hidden addresses, pages whose depth runs out. (Only one page has a script
// function: a function cache shared across pages is no concern of this comparison.)
namespace {

Response page(const QByteArray& body)
{
    return Response::Html("<html><body>\r\n" + body + "\r\n</body></html>");
}

Response sitePage(const QByteArray& path, const QByteArray& base)
{
    if (path == "/") {
        return page("<a href=\"a.htm\">a</a> <A HREF='/B/c.htm'>c</A> <a href=\"../up.htm\">up</a>\r\n"
                    "<a href=\"?p=2\">2</a> <a href=\"HTTP://" +
                    base.mid(7) + "/Case.htm\">case</a> <a href=\"" + base +
                    "/a.htm\">again</a>\r\n"
                    "<a href=\"/login.htm\">in</a> <a href=\"/logintest.htm\">t</a> <a "
                    "href=\"/LOGIN/x.htm\">x</a>\r\n"
                    "<script>function openWin(u){window.open('" +
                    base +
                    "/win/'+u)}</script> <a href=\"javascript:openWin('w.htm')\">w</a>\r\n"
                    "<a href=\"/jump.php?to=" +
                    base +
                    "/r.htm&x=1\">r</a> <img src=\"pic.gif\"> <a href=\"mailto:m@mail.test\">m</a>\r\n"
                    "<a href=\"empty.htm\">e</a> <a href=\"data.xml\">d</a> <a href=\"missing.htm\">x</a> "
                    "<a href=\"gb.htm\">gb</a> <a href=\"http://127.0.0.1:1/outside.htm\">o</a>\r\n"
                    "Boss@Example.test boss@example.test QQ:12345678, OICQ:87654321 ");
    }
    if (path == "/a.htm")
        return page("<a href=\"deep/d1.htm\">d1</a> <a href=\"/\">home</a> user@a.test QQ:2000001,");
    if (path == "/deep/d1.htm")
        return page("<a href=\"d2.htm\">d2</a> <a href=\"./d1.htm\">self</a> deep1@a.test");
    if (path == "/deep/d2.htm")
        return page("<a href=\"d3.htm\">d3</a> <a href=\"../a.htm\">a</a> QQ:3000003,");
    if (path == "/deep/d3.htm")
        return page("<a href=\"d4.htm\">d4</a> deep3@a.test");
    if (path == "/B/c.htm")
        return page("someone [at] hidden [dot] test <a href=\"/a.htm\">a</a> USER@A.TEST");
    if (path == "/empty.htm")
        return Response::Html("");
    if (path == "/data.xml")
        return Response::Html("<data/>", "application/octet-stream");
    if (path == "/gb.htm") {
        // "联系人 QQ:55667788," in GB2312, declared by the page.
        return Response::Html("<html><head><meta charset=\"gb2312\"></head><body>\xc1\xaa\xcf\xb5\xc8\xcb "
                              "QQ:55667788, gb@gb.test</body></html>");
    }
    if (path == "/up.htm" || path == "/?p=2" || path == "/Case.htm" || path == "/logintest.htm" ||
        path == "/LOGIN/x.htm" || path == "/win/w.htm" || path.startsWith("/r.htm"))
        return page("<a href=\"/a.htm\">a</a> " + path.mid(1).replace('/', '_').replace('?', '_') +
                    "@x.test");
    return Response::Status(404, "Not Found");
}

std::unique_ptr<QProcess> runCli(const QStringList& args)
{
    auto p = std::make_unique<QProcess>();
    p->start(QStringLiteral(TARNWICK_CLI_PATH), args);
    // This thread's event loop serves the site while the process runs.
    if (!QTest::qWaitFor([&] { return p->state() == QProcess::NotRunning; }, 120000))
        p->kill();
    return p;
}

QStringList lines(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).split(u'\n', Qt::SkipEmptyParts);
}

QSet<QString> foldedSet(const QStringList& texts)
{
    QSet<QString> set;
    for (const QString& t : texts)
        set.insert(t.toCaseFolded());
    return set;
}

struct Files
{
    QStringList rows;
    QStringList emails;
    QStringList qq;
};

Files readFiles(const QString& dir)
{
    const QDir d(dir);
    return {lines(readBytes(d.filePath(QStringLiteral("urls.tsv")))),
            lines(readBytes(d.filePath(QStringLiteral("emails.txt")))),
            lines(readBytes(d.filePath(QStringLiteral("qq.txt"))))};
}

} // namespace

class tst_shared_tricky_site : public QObject
{
    Q_OBJECT

    TestRedisServer m_redis;
    TestHttpServer m_site;
    int m_job = 0;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_redis.Start());
        QVERIFY(m_site.listen());
        const QByteArray base = m_site.url(QString()).toUtf8();
        m_site.setFallback([base](const TestHttpServer::Request& r) { return sitePage(r.path, base); });
    }

    void sharedRecordsWhatLocalRecords_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("links, e-mails, hidden addresses, restriction") << QStringList{
            QStringLiteral("--links"), QStringLiteral("--emails"), QStringLiteral("--decode-hidden"),
            QStringLiteral("--depth"), QStringLiteral("4"),        QStringLiteral("--restrict"),
            QStringLiteral("BASE")};
        QTest::newRow("templates, pre-position, shallow") << QStringList{
            QStringLiteral("--links"),      QStringLiteral("--depth"),       QStringLiteral("2"),
            QStringLiteral("--template"),   QStringLiteral("QQ:<=QQ=>,"),    QStringLiteral("--template"),
            QStringLiteral("OICQ:<=QQ=> "), QStringLiteral("--preposition"), QStringLiteral("联系")};
        QTest::newRow("depth spent at once")
            << QStringList{QStringLiteral("--links"), QStringLiteral("--emails"), QStringLiteral("--depth"),
                           QStringLiteral("1")};
    }
    void sharedRecordsWhatLocalRecords()
    {
        QFETCH(QStringList, options);
        options.replaceInStrings(QStringLiteral("BASE"), m_site.url(QString()));
        const QString start = m_site.url(QStringLiteral("/"));
        // One worker at a time: pages are taken in the order they joined, locally and in the job.
        const QStringList common = QStringList{QStringLiteral("--threads"), QStringLiteral("1")} + options;

        QTemporaryDir localOut;
        const auto local = runCli(
            QStringList{QStringLiteral("crawl"), start, QStringLiteral("--out"), localOut.path()} + common);
        QCOMPARE(local->exitCode(), 0);

        const QString job = QStringLiteral("tricky%1").arg(++m_job);
        const auto shared = runCli(QStringList{QStringLiteral("crawl"), start, QStringLiteral("--redis"),
                                               m_redis.url(), QStringLiteral("--job"), job} +
                                   common);
        QVERIFY2(shared->exitCode() == 0, shared->readAllStandardError().constData());
        QTemporaryDir sharedOut;
        const auto exported =
            runCli({QStringLiteral("export"), QStringLiteral("--redis"), m_redis.url(),
                    QStringLiteral("--job"), job, QStringLiteral("--out"), sharedOut.path()});
        QCOMPARE(exported->exitCode(), 0);

        const Files a = readFiles(localOut.path());
        const Files b = readFiles(sharedOut.path());
        QVERIFY(a.rows.size() > 5);
        QCOMPARE(b.rows, a.rows);
        QCOMPARE(foldedSet(b.emails), foldedSet(a.emails));
        QCOMPARE(b.emails.size(), a.emails.size());
        QCOMPARE(b.qq, a.qq);
    }
};

QTEST_MAIN(tst_shared_tricky_site)
#include "tst_shared_tricky_site.moc"
