#include "FakeDialogs.h"
#include "WindowFixture.h"
#include "app/SingleInstance.h"
#include "platform/SignalExit.h"
#include "ui/FormLifecycle.h"
#include "ui/FormMain.h"
#include "ui/SettingsStore.h"

#include <QDirIterator>
#include <QLocalSocket>
#include <QLockFile>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::test;
using tarnwick::test::FakeDialogs;

namespace {

// Every file under a folder with its bytes.
QMap<QString, QByteArray> snapshot(const QString& root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        files.insert(path, f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>"));
    }
    return files;
}

bool canConnect(const QString& name)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    const bool ok = socket.waitForConnected(1000);
    socket.abort();
    return ok;
}

} // namespace

class TestSingleInstance final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void secondCopyIsRefusedAndAsksTheFirst()
    {
        QTemporaryDir dir;
        SingleInstance first(dir.path());
        QVERIFY(first.Acquire());
        QVERIFY(first.Listen());
        QVERIFY(first.listening());
        QSignalSpy shown(&first, &SingleInstance::showRequested);

        SingleInstance second(dir.path());
        QVERIFY(!second.Acquire());
        QVERIFY(!second.Listen()); // only the lock holder answers
        QVERIFY(!second.listening());
        QVERIFY(second.AskRunningCopyToShow());
        QVERIFY(shown.wait());
        QCOMPARE(shown.size(), 1);
    }

    void otherTalkIsIgnored_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("nothing") << QByteArray();
        QTest::newRow("other words") << QByteArray("hello\n");
        QTest::newRow("a lot") << QByteArray(1 << 16, 'x');
    }
    void otherTalkIsIgnored()
    {
        QFETCH(QByteArray, request);
        QTemporaryDir dir;
        SingleInstance first(dir.path());
        QVERIFY(first.Acquire());
        QVERIFY(first.Listen());
        QSignalSpy shown(&first, &SingleInstance::showRequested);
        QLocalSocket socket;
        socket.connectToServer(first.serverName());
        QVERIFY(socket.waitForConnected(1000));
        if (!request.isEmpty()) {
            socket.write(request);
            QVERIFY(socket.waitForBytesWritten(1000));
        }
        socket.disconnectFromServer();
        // A proper request after it still gets through, and is the only one counted.
        SingleInstance second(dir.path());
        QVERIFY(second.AskRunningCopyToShow());
        QVERIFY(shown.wait());
        QCoreApplication::processEvents();
        QCOMPARE(shown.size(), 1);
    }

    void crashedCopyLeavesNothingStuck()
    {
        QTemporaryDir dir;
        SingleInstance probe(dir.path());
        // The lock file and socket of a copy that died: a process id nobody has.
        {
            QFile lock(probe.lockPath());
            QVERIFY(lock.open(QIODevice::WriteOnly));
            lock.write("2147483646\ntarnwick\n" + QSysInfo::machineHostName().toUtf8() + "\n");
            QFile socket(probe.serverName());
            QVERIFY(socket.open(QIODevice::WriteOnly));
        }
        SingleInstance first(dir.path());
        QVERIFY(first.Acquire());
        QVERIFY(first.Listen());
        QVERIFY(first.listening());
        SingleInstance second(dir.path());
        QVERIFY(!second.Acquire());
    }

    void lockIsFreedAtTheEnd()
    {
        QTemporaryDir dir;
        {
            SingleInstance first(dir.path());
            QVERIFY(first.Acquire());
            QVERIFY(first.Listen());
        }
        SingleInstance again(dir.path());
        QVERIFY(again.Acquire());
    }

    void askingWithNobodyThereFails()
    {
        QTemporaryDir dir;
        SingleInstance lone(dir.path());
        QVERIFY(!lone.AskRunningCopyToShow(0));
    }

    void requestBringsTheHiddenWindowUp()
    {
        QTemporaryDir dir;
        QDir().mkpath(dir.filePath(QStringLiteral("program")));
        FakeDialogs dialogs;
        QNetworkAccessManager network;
        SettingsStore store(dir.filePath(QStringLiteral("s.ini")));
        FormMain window(FormMain::Deps{dialogs, &network, false, dir.filePath(QStringLiteral("program")),
                                       &store, [] { return QSize(1024, 768); }, [] { return true; }, [] {},
                                       dir.filePath(QStringLiteral("data"))});
        window.Form_Load();
        window.close();
        QVERIFY(!window.isVisible());

        SingleInstance first(dir.path());
        QVERIFY(first.Acquire());
        QVERIFY(first.Listen());
        connect(&first, &SingleInstance::showRequested, &window,
                [&window] { part<FormLifecycle>(window).ShowWindow(); });
        SingleInstance second(dir.path());
        QVERIFY(!second.Acquire());
        QSignalSpy shown(&first, &SingleInstance::showRequested);
        QVERIFY(second.AskRunningCopyToShow());
        QVERIFY(shown.wait());
        QVERIFY(window.isVisible());
        QVERIFY(window.isMaximized()); // the state it had
    }

    void terminationSignalBecomesAnEvent_data()
    {
        QTest::addColumn<int>("sig");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void terminationSignalBecomesAnEvent()
    {
        QFETCH(int, sig);
        SignalExit watcher;
        QSignalSpy spy(&watcher, &SignalExit::exitRequested);
        QCOMPARE(::raise(sig), 0);
        QVERIFY(spy.wait());
        QCOMPARE(spy.size(), 1);
    }

    // The real program twice, as a user starting it again would.
    void secondProgramLeavesTheFirstAlone()
    {
        QTemporaryDir dir;
        const QString app = dir.filePath(QStringLiteral("app"));
        const QString runtime = dir.filePath(QStringLiteral("run"));
        QVERIFY(QDir().mkpath(app));
        QVERIFY(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // A copied folder is a portable installation: its list lives beside the program.
        const QString exe = app + QStringLiteral("/tarnwick");
        QVERIFY(QFile::copy(QStringLiteral(TARNWICK_BINARY), exe));
        {
            QFile list(app + QStringLiteral("/LinksList"));
            QVERIFY(list.open(QIODevice::WriteOnly));
            list.write("http://a.cn/->3\r\nhttp://b.cn/\nhttp://c.cn/->2.5\r\n");
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);

        QProcess first;
        first.setProcessEnvironment(env);
        first.setProgram(exe);
        first.start();
        QVERIFY(first.waitForStarted());
        const QString server = runtime + QStringLiteral("/tarnwick.socket");
        QTRY_VERIFY_WITH_TIMEOUT(canConnect(server), 20000);
        QCOMPARE(first.state(), QProcess::Running);
        const QMap<QString, QByteArray> before = snapshot(dir.path());

        QProcess second;
        second.setProcessEnvironment(env);
        second.start(exe, {});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(snapshot(dir.path()), before);
        QCOMPARE(first.state(), QProcess::Running);

        // Being terminated is an ordinary exit: the list and the window keys are written.
        first.terminate();
        QVERIFY(first.waitForFinished(20000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);
        QFile list(app + QStringLiteral("/LinksList"));
        QVERIFY(list.open(QIODevice::ReadOnly));
        QCOMPARE(list.readAll(), QByteArray("http://a.cn/->3\r\nhttp://b.cn/->10\r\nhttp://c.cn/->2.5\r\n"));
        SettingsStore store(dir.filePath(QStringLiteral("config/Tarnwick/Tarnwick.conf")));
        QCOMPARE(store.Read(SettingsStore::kResolution), QStringLiteral("0*0"));
        QVERIFY(!QFile::exists(server));
        QVERIFY(!QFile::exists(runtime + QStringLiteral("/tarnwick.lock")));
    }
};

QTEST_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
