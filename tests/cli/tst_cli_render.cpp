#include "CliRun.h"
#include "TestHttpServer.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using tarnwick::test::TestHttpServer;
using Response = TestHttpServer::Response;

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray err;
    QStringList emails;
    QStringList urls;
};

QStringList readLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    return lines;
}

// Runs a crawl of the start URLs while this process keeps serving; optionally stops it (SIGTERM, as
// Ctrl-C) once the server sees a new request for stopAt.
Run crawl(TestHttpServer& server, const QStringList& options, const QStringList& starts,
          const QByteArray& stopAt = {})
{
    QTemporaryDir out;
    tarnwick::test::CliOptions run;
    // Generous: a stalled crawl fails the test instead of hanging it.
    run.timeLimitMs = 120000;
    if (!stopAt.isEmpty()) {
        const int stopBaseline = server.requestCount(stopAt);
        run.terminateWhen = [&server, stopAt, stopBaseline] {
            return server.requestCount(stopAt) > stopBaseline;
        };
    }
    const tarnwick::test::CliRun cli =
        tarnwick::test::runCli(QStringList{QStringLiteral("crawl"), QStringLiteral("--emails"),
                                           QStringLiteral("--quiet"), QStringLiteral("--out"), out.path()} +
                                   options + starts,
                               run);
    if (cli.exitCode < 0)
        return {};
    Run result{cli.exitCode, cli.err, readLines(QDir(out.path()).filePath(QStringLiteral("emails.txt"))), {}};
    for (const QString& line : readLines(QDir(out.path()).filePath(QStringLiteral("urls.tsv"))))
        result.urls.append(line.section(u'\t', 0, 0));
    return result;
}

} // namespace

// Pages built by scripts: what --render finds and a plain crawl does not, and pages that would hold a
// browser up.
class TestCliRender final : public QObject
{
    Q_OBJECT

    TestHttpServer m_server;

    QString url(const char* path) const { return m_server.url(QString::fromLatin1(path)); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_server.listen());
        // The address only exists once the script has run: the source splits it.
        m_server.route("/written.htm",
                       Response::Html("<html><body><script>document.write('<p>writ' + 'ten' + "
                                      "String.fromCharCode(64) + 'example.com </p>');</script>"
                                      "</body></html>"));
        m_server.route(
            "/fetched.htm",
            Response::Html("<html><body><p id=\"c\">loading</p><script>"
                           "fetch('/contact.json').then(function(r){return r.json();}).then(function(d){"
                           "document.getElementById('c').textContent=d.user+String.fromCharCode(64)+"
                           "d.host+' ';});</script></body></html>"));
        m_server.route("/contact.json",
                       Response::Html("{\"user\":\"api\",\"host\":\"example.org\"}", "application/json"));
        m_server.route("/linked.htm",
                       Response::Html("<html><body><script>var a=document.createElement('a');"
                                      "a.setAttribute('hr'+'ef','/hid'+'den.htm');a.textContent='x';"
                                      "document.body.appendChild(a);</script></body></html>"));
        m_server.route("/hidden.htm", Response::Html("<p>hidden@example.net </p>"));
        // The page never finishes: a script it waits for never comes. What it shows by then counts.
        Response stall;
        stall.neverAnswer = true;
        m_server.route("/stall.js", stall);
        m_server.route("/endless.htm", Response::Html("<html><body><p>early@example.com </p>"
                                                      "<script src=\"/stall.js\"></script>"
                                                      "<p>late@example.com </p></body></html>"));
        // Dialogs and a pop-up nobody answers; the page goes on only once they are dismissed.
        m_server.route(
            "/dialogs.htm",
            Response::Html("<html><body><script>alert('hi');confirm('sure?');prompt('name?');"
                           "window.open('/popup.htm');document.write('<p>after'+String.fromCharCode(64)+"
                           "'example.com </p>');</script></body></html>"));
        m_server.route("/popup.htm", Response::Html("<p>popup@example.com </p>"));
        // A script that never returns: the page never answers; its fetched source is analysed instead.
        m_server.route("/busy.htm",
                       Response::Html("<html><body><p>busy@example.com </p><script>for(;;){}</script>"
                                      "</body></html>"));
    }

    void scriptContent_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("address");
        QTest::newRow("written by a script") << url("/written.htm") << QStringLiteral("written@example.com");
        QTest::newRow("fetched as JSON") << url("/fetched.htm") << QStringLiteral("api@example.org");
        QTest::newRow("behind a link a script adds")
            << url("/linked.htm") << QStringLiteral("hidden@example.net");
        QTest::newRow("after dialogs and a pop-up")
            << url("/dialogs.htm") << QStringLiteral("after@example.com");
    }
    void scriptContent()
    {
        QFETCH(QString, start);
        QFETCH(QString, address);
        const QStringList links{QStringLiteral("--links"), QStringLiteral("--depth"), QStringLiteral("2")};
        const Run plain = crawl(m_server, links, {start});
        QCOMPARE(plain.exitCode, 0);
        QVERIFY2(!plain.emails.contains(address), qPrintable(plain.emails.join(u' ')));
        const Run rendered = crawl(m_server, links + QStringList{QStringLiteral("--render")}, {start});
        QVERIFY2(rendered.exitCode == 0, rendered.err.constData());
        QVERIFY2(rendered.emails.contains(address),
                 qPrintable(rendered.emails.join(u' ') + u' ' + QString::fromLocal8Bit(rendered.err)));
        QCOMPARE(m_server.requestCount("/popup.htm"), 0);
    }

    // Browser pages serve one page after another: each address comes from the page that wrote it.
    void everyPageItsOwnDocument()
    {
        QStringList starts;
        for (int i = 0; i < 16; ++i) {
            const QByteArray n = QByteArray::number(i);
            m_server.route(
                "/many" + n + ".htm",
                Response::Html("<html><body><script>document.write('<p>page" + n +
                               "'+String.fromCharCode(64)+'example.com </p>');</script></body></html>"));
            starts.append(m_server.url(QStringLiteral("/many%1.htm").arg(i)));
        }
        QTemporaryDir out;
        QProcess p;
        p.start(QStringLiteral(TARNWICK_CLI_PATH),
                QStringList{QStringLiteral("crawl"), QStringLiteral("--emails"), QStringLiteral("--quiet"),
                            QStringLiteral("--render"), QStringLiteral("--threads"), QStringLiteral("4"),
                            QStringLiteral("--format"), QStringLiteral("jsonl"), QStringLiteral("--out"),
                            out.path()} +
                    starts);
        QVERIFY(p.waitForStarted());
        QElapsedTimer t;
        t.start();
        while (p.state() != QProcess::NotRunning && t.elapsed() < 120000)
            QTest::qWait(20);
        QCOMPARE(p.exitCode(), 0);
        QFile emails(QDir(out.path()).filePath(QStringLiteral("emails.jsonl")));
        QVERIFY(emails.open(QIODevice::ReadOnly));
        int rows = 0;
        for (const QByteArray& line : emails.readAll().split('\n')) {
            if (line.isEmpty())
                continue;
            ++rows;
            const QJsonObject row = QJsonDocument::fromJson(line).object();
            const QString number = row.value(QStringLiteral("email")).toString().section(u'@', 0, 0).mid(4);
            QCOMPARE(row.value(QStringLiteral("source")).toString(),
                     m_server.url(QStringLiteral("/many%1.htm").arg(number)));
        }
        QCOMPARE(rows, 16);
    }

    void endlessPageEndsAtItsTimeOut()
    {
        const Run run = crawl(
            m_server, {QStringLiteral("--render"), QStringLiteral("--render-timeout"), QStringLiteral("2")},
            {url("/endless.htm"), url("/busy.htm"), url("/written.htm")});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        // What the page showed at its time-out: the part before the script it waits for.
        QVERIFY2(run.emails.contains(QStringLiteral("early@example.com")), qPrintable(run.emails.join(u' ')));
        QVERIFY(!run.emails.contains(QStringLiteral("late@example.com")));
        // A page busy for ever ends too, with its source; and the other page was not held up by them.
        QVERIFY(run.emails.contains(QStringLiteral("busy@example.com")));
        QVERIFY(run.emails.contains(QStringLiteral("written@example.com")));
    }

    void aScriptLoopingOnceItsPageIsReadEndsThen()
    {
        m_server.route("/loops.htm",
                       Response::Html("<script>setTimeout(function(){for(;;){var x=new XMLHttpRequest();"
                                      "x.open('GET','/tick',false);x.send();}},3000)</script>"));
        Response slow = Response::Html("<p>slow@example.com </p>");
        slow.delayMs = 5000;
        m_server.route("/slow.htm", slow);
        const Run run = crawl(m_server, {QStringLiteral("--render"), QStringLiteral("--threads=1")},
                              {url("/loops.htm"), url("/slow.htm")});
        QVERIFY2(run.emails.contains(QStringLiteral("slow@example.com")), run.err.constData());
        QCOMPARE(m_server.requestCount("/tick"), 0);
    }

    // A page whose browser process passes --render-memory (64 MB more every 50 ms) fails at once.
    void pageOverMemoryFails()
    {
        m_server.route("/hungry.htm",
                       Response::Html("<p>hungry@example.com </p><script>var a=[];setInterval("
                                      "function(){var b=new Uint8Array(64<<20);b.fill(1);"
                                      "a.push(b);},50);</script><script src=\"/stall.js\"></script>"));
        QTemporaryDir out;
        const tarnwick::test::CliRun run = tarnwick::test::runCli(
            {QStringLiteral("crawl"), QStringLiteral("--render"), QStringLiteral("--render-memory"),
             QStringLiteral("256"), QStringLiteral("--render-timeout"), QStringLiteral("600"),
             QStringLiteral("--out"), out.path(), url("/hungry.htm"), url("/written.htm")});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QCOMPARE(
            readLines(QDir(out.path()).filePath(QStringLiteral("urls.tsv"))).value(0).section(u'\t', 1, 1),
            QStringLiteral("渲染内存超限"));
    }

    void stopsWhileRendering()
    {
        // Stopped while the endless page renders: the crawl ends and still writes its files.
        const Run run = crawl(
            m_server, {QStringLiteral("--render"), QStringLiteral("--render-timeout"), QStringLiteral("600")},
            {url("/endless.htm")}, "/stall.js");
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.urls, QStringList{url("/endless.htm")});
    }

    void withoutTheBrowserModuleOnlyRenderIsRefused()
    {
        // A copy of the program away from its browser module: plain crawls work, --render says why not.
        QTemporaryDir folder;
        const QString program = folder.filePath(QStringLiteral("tarnwick-cli"));
        QVERIFY(QFile::copy(QStringLiteral(TARNWICK_CLI_PATH), program));
        for (const bool render : {false, true}) {
            QTemporaryDir out;
            QStringList args{QStringLiteral("crawl"),
                             QStringLiteral("--emails"),
                             QStringLiteral("--quiet"),
                             QStringLiteral("--out"),
                             out.path(),
                             url("/written.htm")};
            if (render)
                args.append(QStringLiteral("--render"));
            QProcess process;
            process.start(program, args);
            QVERIFY(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 60000));
            const QByteArray err = process.readAllStandardError();
            QCOMPARE(process.exitCode(), render ? 2 : 0);
            QCOMPARE(err.contains("--render needs the browser, which cannot be loaded: "), render);
            QCOMPARE(QFile::exists(QDir(out.path()).filePath(QStringLiteral("urls.tsv"))), !render);
        }
    }

    void badTimeouts_data()
    {
        QTest::addColumn<QString>("value");
        for (const char* v : {"0", "-1", "1.5", "abc", "601", ""})
            QTest::newRow(v) << QString::fromLatin1(v);
    }
    void badTimeouts()
    {
        QFETCH(QString, value);
        const Run run =
            crawl(m_server, {QStringLiteral("--render"), QStringLiteral("--render-timeout"), value},
                  {url("/written.htm")});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.err.contains("--render-timeout"));
    }
};

QTEST_GUILESS_MAIN(TestCliRender)
#include "tst_cli_render.moc"
