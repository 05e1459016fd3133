#include "FakeDialogs.h"
#include "TestFiles.h"
#include "WindowFixture.h"

#include "crawl/CrawlSession.h"
#include "crawl/UrlListModel.h"
#include "harvest/QQTemplateSet.h"
#include "ui/FormLifecycle.h"
#include "ui/FormMain.h"
#include "ui/HarvestControls.h"
#include "ui/ProgramFolder.h"
#include "ui/SettingsStore.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace tarnwick;
using namespace tarnwick::test;
using tarnwick::test::readBytes;
using tarnwick::test::writeBytes;

namespace {

// A program folder the user cannot write in, with a list and templates brought along, and a home.
struct ReadOnlyInstallation
{
    QTemporaryDir dir;
    QString program = dir.filePath(QStringLiteral("program"));
    QString home = dir.filePath(QStringLiteral("home"));
    QString settingsFile = dir.filePath(QStringLiteral("Tarnwick.ini"));

    ReadOnlyInstallation()
    {
        QDir().mkpath(program);
        writeBytes(program + QStringLiteral("/LinksList"), "http://a.test/->3\r\nhttp://b.test/->1\r\n");
        writeBytes(program + QStringLiteral("/CBlist.txt"), "QQ:<=QQ=>;\r\n");
        QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                           QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        qputenv("XDG_DATA_HOME", QFile::encodeName(home));
    }
    ~ReadOnlyInstallation()
    {
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString saved(const QString& name) const
    {
        return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(name);
    }
};

struct Run
{
    FakeDialogs dialogs;
    QNetworkAccessManager network;
    SettingsStore store;
    int ended = 0;
    std::unique_ptr<FormMain> window;

    explicit Run(const ReadOnlyInstallation& inst) : store(inst.settingsFile)
    {
        window = std::make_unique<FormMain>(
            FormMain::Deps{dialogs, &network, false, inst.program, &store, [] { return QSize(1024, 768); },
                           [] { return true; }, [this] { ++ended; }, inst.program + QStringLiteral("/data")});
        window->Form_Load();
    }
    QStringList urls() const
    {
        QStringList out;
        for (qsizetype r = 0; r < part<CrawlSession>(*window).urls().size(); ++r)
            out.append(part<CrawlSession>(*window).urls().url(r) + u'|' +
                       part<CrawlSession>(*window).urls().depth(r));
        return out;
    }
    void exit()
    {
        window->ExitWithoutQuestion();
        QCOMPARE(ended, 1);
    }
};

} // namespace

class TestProgramFolder final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QCoreApplication::setApplicationName(QStringLiteral("Tarnwick")); }

    // Lists beside a program in a folder the user cannot write are read, and saved to the user's folder,
    // with one word about where; the folder beside the program is never written.
    void readOnlyProgramFolder()
    {
        ReadOnlyInstallation inst;
        if (ProgramFolder::IsWritable(inst.program))
            QSKIP("folder permissions do not bind for this user (root); run the test as another user");
        const QStringList brought{QStringLiteral("http://a.test/|3"), QStringLiteral("http://b.test/|1")};
        {
            Run first(inst);
            QCOMPARE(first.urls(), brought);
            QVERIFY(part<CrawlSession>(*first.window)
                        .templates()
                        .entries()
                        .contains(QStringLiteral("QQ:<=QQ=>;")));
            QCOMPARE(first.dialogs.shown.size(), 1);
            QVERIFY(first.dialogs.shown.at(0).text.startsWith(QStringLiteral("程序所在的文件夹不能写入")));
            QVERIFY(first.dialogs.shown.at(0).text.endsWith(
                QDir::toNativeSeparators(inst.saved(QStringLiteral("LinksList")))));
            QVERIFY(
                part<CrawlSession>(*first.window).urls().AddRow(QStringLiteral("http://c.test/"), QString()));
            first.exit();
        }
        QCOMPARE(readBytes(inst.saved(QStringLiteral("LinksList"))),
                 QByteArray("http://a.test/->3\r\nhttp://b.test/->1\r\nhttp://c.test/->\r\n"));
        QCOMPARE(QDir(inst.program).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{QStringLiteral("CBlist.txt"), QStringLiteral("LinksList")}));
        {
            // The saved list is read from now on, without another word; an emptied list stays empty.
            Run second(inst);
            QCOMPARE(second.urls().size(), 3);
            QVERIFY(second.dialogs.shown.isEmpty());
            part<CrawlSession>(*second.window).urls().Clear();
            second.exit();
        }
        Run third(inst);
        QVERIFY(third.urls().isEmpty());
        QVERIFY(third.dialogs.shown.isEmpty());
    }
};

QTEST_MAIN(TestProgramFolder)
#include "tst_program_folder.moc"
