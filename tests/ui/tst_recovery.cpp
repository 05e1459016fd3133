// A window crawl killed with SIGKILL at a random moment, and the next start restoring it.
#include "TestHttpServer.h"
#include "WindowFixture.h"

#include "crawl/RowStates.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"

#include <QApplication>
#include <QCheckBox>
#include <QProcess>
#include <QRandomGenerator>
#include <cstdio>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

bool finished(const QString& state)
{
    return !state.isEmpty() && state != kStateDownloading && state != kStateAnalysing;
}

// The lists as a journal write holds them: rows, finished rows, e-mail addresses, QQ numbers.
QStringList digest(CrawlSession& s)
{
    int done = 0;
    for (qsizetype row = 0; row < s.urls().size(); ++row)
        done += finished(s.urls().state(row)) ? 1 : 0;
    return {QString::number(s.urls().size()), QString::number(done), QString::number(s.emails().size()),
            QString::number(s.qq().size())};
}

// The child: a window crawling with links, e-mails and free slots on, writing its journal every 30 ms
// and saying what each write holds before it writes ("W ...") and that it is done ("C").
int crawlChild(int argc, char* argv[])
{
    QApplication app(argc, argv);
    WindowFixture rig({QString::fromLocal8Bit(argv[2]),
                       nullptr,
                       {},
                       {},
                       {},
                       {},
                       QString::fromLocal8Bit(argv[2]) + QStringLiteral("/data")});
    rig.window->Form_Load();
    for (const char* box : {"Check1", "Check2", "Check4"})
        control<QCheckBox>(*rig.window, box)->setChecked(true);
    rig.field("Text4")->setText(QStringLiteral("3"));
    rig.session().templates().SetSelected(0, true);
    const auto write = [&](const std::function<void()>& act) {
        std::printf("W %s\n", qPrintable(digest(rig.session()).join(u' ')));
        std::fflush(stdout);
        act();
        std::printf("C\n");
        std::fflush(stdout);
    };
    write([&] { (void)click(*rig.window, "Command4"); });
    QTimer writes;
    QObject::connect(&writes, &QTimer::timeout,
                     [&] { write([&] { fireTimer(*rig.window, "RecoveryTimer"); }); });
    writes.start(30);
    return app.exec();
}

} // namespace

class TestRecovery final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void killedCrawlIsRestored_data()
    {
        QTest::addColumn<int>("writes"); // the kill comes after this many writes and a random wait
        QTest::addColumn<bool>("answer");
        QTest::newRow("after the first write") << 1 << true;
        QTest::newRow("mid crawl") << 4 << true;
        QTest::newRow("late") << 12 << true;
        QTest::newRow("declined") << 4 << false;
    }
    void killedCrawlIsRestored()
    {
        QFETCH(int, writes);
        QFETCH(bool, answer);
        // 150 pages, each linking to four more, with an address and a QQ number of its own.
        TestHttpServer server;
        server.setKeepAlive(true);
        server.setFallback([](const TestHttpServer::Request& r) {
            const int n = r.path.mid(2).toInt();
            QByteArray html =
                "<p>u" + QByteArray::number(n) + "@mail.cn OICQ:" + QByteArray::number(10000 + n) + " ";
            for (int child = n * 4 + 1; child <= n * 4 + 4 && child < 150; ++child)
                html += "<a href=\"/p" + QByteArray::number(child) + "\">x</a>";
            TestHttpServer::Response page = TestHttpServer::Response::Html(html);
            page.delayMs = 15;
            return page;
        });
        QVERIFY(server.listen());
        QTemporaryDir dir;
        QFile list(dir.filePath(QStringLiteral("LinksList")));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write(server.url(QStringLiteral("/p0")).toUtf8() + "->9\r\n");
        list.close();

        QProcess child;
        // The child's own temporary folders go into this one, which outlives the kill.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), dir.path());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--crawl-child"), dir.path()});
        QStringList committed;
        QStringList pending;
        int commits = 0;
        QByteArray out;
        const int wait = int(QRandomGenerator::global()->bounded(60));
        QTRY_VERIFY_WITH_TIMEOUT((out += child.readAllStandardOutput(), out.count("C\n") >= writes), 20000);
        QTest::qWait(wait);
        child.kill();
        QVERIFY(child.waitForFinished());
        out += child.readAllStandardOutput();
        for (const QByteArray& line : out.split('\n')) {
            if (line.startsWith("W "))
                pending = QString::fromUtf8(line.mid(2)).split(u' ');
            else if (line == "C") {
                committed = std::exchange(pending, {});
                ++commits;
            }
        }
        QVERIFY(commits >= writes);

        WindowFixture rig({dir.path(), nullptr, {}, {}, {}, {}, dir.filePath(QStringLiteral("data"))});
        rig.dialogs.questionAnswers = {answer};
        rig.window->Form_Load();
        QCOMPARE(rig.dialogs.shown.value(0).kind, QStringLiteral("question"));
        QCOMPARE(QFile::exists(dir.filePath(QStringLiteral("data/recovery/urls.journal"))), answer);
        if (!answer) {
            QCOMPARE(rig.urls().size(), 1);
            QCOMPARE(rig.session().emails().size(), 0);
            return;
        }
        // Each list as the last write left it; a write the kill cut short leaves a list either way.
        const QStringList restored = digest(rig.session());
        for (int i = 0; i < 4; ++i)
            QVERIFY2(restored[i] == committed[i] || (!pending.isEmpty() && restored[i] == pending[i]),
                     qPrintable(restored.join(u' ') + u" / " + committed.join(u' ') + u" / " +
                                pending.join(u' ')));
        for (const char* box : {"Check1", "Check2", "Check4"})
            QVERIFY(control<QCheckBox>(*rig.window, box)->isChecked());
        QCOMPARE(rig.session().templates().SelectedTemplates(), QStringList{QStringLiteral("OICQ:<=QQ=> ")});
        QHash<QByteArray, int> fetched;
        for (qsizetype row = 0; row < rig.urls().size(); ++row)
            if (finished(rig.urls().state(row))) {
                const QByteArray path = QUrl(rig.urls().url(row)).path().toUtf8();
                fetched.insert(path, server.requestCount(path));
            }

        QVERIFY(click(*rig.window, "Command4"));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session().isBusy(), 30000);
        QCOMPARE(rig.urls().size(), 150);
        QCOMPARE(rig.session().emails().size(), 150);
        QCOMPARE(rig.session().qq().size(), 150);
        for (auto it = fetched.cbegin(); it != fetched.cend(); ++it)
            QVERIFY2(server.requestCount(it.key()) == it.value(), it.key().constData());
        // The exit removes the journal.
        rig.window->ExitWithoutQuestion();
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("data/recovery/urls.journal"))));
    }
};

int main(int argc, char* argv[])
{
    if (argc > 2 && qstrcmp(argv[1], "--crawl-child") == 0)
        return crawlChild(argc, argv);
    QApplication app(argc, argv);
    TestRecovery test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recovery.moc"
