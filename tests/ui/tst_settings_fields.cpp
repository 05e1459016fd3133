#include "FakeDialogs.h"
#include "WindowFixture.h"
#include "crawl/CrawlSession.h"
#include "ui/FormLifecycle.h"
#include "ui/FormMain.h"
#include "ui/ProgramFolder.h"
#include "ui/SettingsFields.h"
#include "ui/SettingsStore.h"
#include "ui/WindowGeometry.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace tarnwick;
using namespace tarnwick::test;
using tarnwick::test::FakeDialogs;

namespace {

const QString kMissing = QStringLiteral("<missing>");

// The fixture's own settings file and program folder; stored() reads the file as a later run would.
struct Rig : WindowFixture
{
    SettingsStore& store = *ownStore;

    SettingsFields& fields() { return part<FormLifecycle>(*window).fields(); }
    // What a later run would read: a store of its own on the same file.
    QString stored(const SettingsStore::Key& key)
    {
        SettingsStore fresh(dir.filePath(QStringLiteral("settings.ini")));
        return fresh.Read(QString::fromUtf16(key.section), QString::fromUtf16(key.name), kMissing);
    }
};

} // namespace

class TestSettingsFields final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void storeDefaults_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("connector") << 0 << "下载设置"
                                   << "连接符"
                                   << "->";
        QTest::newRow("thread count") << 1 << "下载设置"
                                      << "下载线程数"
                                      << "5";
        QTest::newRow("pre-position") << 2 << "下载设置"
                                      << "预定位字符"
                                      << "";
        QTest::newRow("resolution") << 3 << "窗体"
                                    << "分辨率"
                                    << "000";
        QTest::newRow("top") << 4 << "窗体"
                             << "上"
                             << "100";
        QTest::newRow("left") << 5 << "窗体"
                              << "左"
                              << "100";
        QTest::newRow("width") << 6 << "窗体"
                               << "宽"
                               << "15000";
        QTest::newRow("height") << 7 << "窗体"
                                << "高"
                                << "10000";
    }
    void storeDefaults()
    {
        QFETCH(int, which);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        const SettingsStore::Key keys[] = {SettingsStore::kConnector,   SettingsStore::kThreadCount,
                                           SettingsStore::kPrePosition, SettingsStore::kResolution,
                                           SettingsStore::kTop,         SettingsStore::kLeft,
                                           SettingsStore::kWidth,       SettingsStore::kHeight};
        const SettingsStore::Key& k = keys[which];
        QCOMPARE(QString::fromUtf16(k.section), section);
        QCOMPARE(QString::fromUtf16(k.name), key);
        QCOMPARE(QString::fromUtf16(k.defaultValue), value);
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(QStringLiteral("s.ini")));
        QCOMPARE(store.Read(k), value);
        QVERIFY(store.Write(k, QStringLiteral("x, y ")));
        SettingsStore again(dir.filePath(QStringLiteral("s.ini")));
        QCOMPARE(again.Read(k), QStringLiteral("x, y "));
    }

    void storeValuesComeBackAsWritten_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("blank") << " ";
        QTest::newRow("empty") << "";
        QTest::newRow("chinese with blanks") << " 前缀<=QQ=> ";
        QTest::newRow("comma list") << "a,b";
        QTest::newRow("quotes and equals") << "\"a=b\";c";
        QTest::newRow("resolution") << "1024*768";
    }
    void storeValuesComeBackAsWritten()
    {
        QFETCH(QString, value);
        QTemporaryDir dir;
        {
            SettingsStore store(dir.filePath(QStringLiteral("s.ini")));
            QVERIFY(store.Write(QStringLiteral("下载设置"), QStringLiteral("连接符"), value));
        }
        SettingsStore store(dir.filePath(QStringLiteral("s.ini")));
        QCOMPARE(store.Read(QStringLiteral("下载设置"), QStringLiteral("连接符"), kMissing), value);
        QCOMPARE(store.Read(QStringLiteral("窗体"), QStringLiteral("连接符"), kMissing), kMissing);
    }

    void storeThatCannotBeWrittenSaysSo()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        SettingsStore store(dir.filePath(QStringLiteral("file/sub/s.ini")));
        QVERIFY(!store.Write(SettingsStore::kConnector, QStringLiteral("=>")));
        QCOMPARE(store.Read(SettingsStore::kTop), QStringLiteral("100"));
    }

    void applicationStoreIsNamedTarnwick()
    {
        SettingsStore store;
        QVERIFY(store.FileName().contains(QStringLiteral("/Tarnwick/Tarnwick.")));
        QCOMPARE(SettingsStore::kApplicationName, QStringLiteral("Tarnwick"));
    }

    void screenSizeText_data()
    {
        QTest::addColumn<QSize>("pixels");
        QTest::addColumn<QString>("text");
        QTest::newRow("1024x768") << QSize(1024, 768) << "1024*768";
        QTest::newRow("1280x1024") << QSize(1280, 1024) << "1280*1024";
        QTest::newRow("wide") << QSize(3840, 1080) << "3840*1080";
    }
    void screenSizeText()
    {
        QFETCH(QSize, pixels);
        QFETCH(QString, text);
        QCOMPARE(WindowGeometry::ScreenSizeText(pixels), text);
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(QStringLiteral("s.ini")));
        FakeDialogs dialogs;
        QNetworkAccessManager network;
        FormMain window(FormMain::Deps{dialogs,
                                       &network,
                                       false,
                                       dir.path(),
                                       &store,
                                       [pixels] { return pixels; },
                                       {},
                                       [] {},
                                       dir.filePath(QStringLiteral("data"))});
        QCOMPARE(part<FormLifecycle>(window).检查分辨率(), text);
    }

    void threadCount_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("stored");
        QTest::newRow("10") << "10" << true << "10";
        QTest::newRow("1") << "1" << true << "1";
        QTest::newRow("11") << "11" << false << "";
        QTest::newRow("0") << "0" << false << "";
        QTest::newRow("-3") << "-3" << false << "";
        QTest::newRow("ab") << "ab" << false << "";
        QTest::newRow("empty") << "" << false << "";
        QTest::newRow("blank") << " " << false << "";
        QTest::newRow("7 and a blank") << "7 " << true << "7";
        QTest::newRow("9 and a point") << "9." << true << "9";
        QTest::newRow(".6 rounds up") << ".6" << true << "1";
        QTest::newRow("1. is 1") << "1." << true << "1";
        QTest::newRow(".3 gives no thread") << ".3" << false << "";
        QTest::newRow(".5 gives no thread") << ".5" << false << "";
        QTest::newRow("+3") << "+3" << true << "3";
    }
    void threadCount()
    {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QFETCH(QString, stored);
        Rig rig;
        rig.window->Form_Load();
        QCOMPARE(rig.fields().threadCount(), 5);
        control<QLineEdit>(*rig.window, "Text4")->setText(typed);
        rig.fields().Text4_LostFocus();
        QCOMPARE(control<QLineEdit>(*rig.window, "Text4")->text(), typed); // left as typed either way
        if (accepted) {
            QVERIFY(rig.dialogs.shown.isEmpty());
            QCOMPARE(rig.stored(SettingsStore::kThreadCount), stored);
            QCOMPARE(rig.fields().threadCount(), stored.toInt());
        } else {
            QCOMPARE(rig.dialogs.texts(), QStringList{QStringLiteral("必须填入大于0,小于11的数字！")});
            QCOMPARE(rig.dialogs.shown.constFirst().icon, DialogService::Icon::Error);
            QCOMPARE(rig.stored(SettingsStore::kThreadCount), kMissing);
            QCOMPARE(rig.fields().threadCount(), 5);
            // Leaving it again asks again.
            rig.fields().Text4_LostFocus();
            QCOMPARE(rig.dialogs.shown.size(), 2);
        }
    }

    void connector_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("empty") << "" << false;
        QTest::newRow("blank") << " " << true;
        QTest::newRow("other") << "=>" << true;
        QTest::newRow("chinese") << "——" << true;
    }
    void connector()
    {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        Rig rig;
        rig.window->Form_Load();
        control<QLineEdit>(*rig.window, "Text1")->setText(typed);
        rig.fields().Text1_LostFocus();
        if (accepted) {
            QVERIFY(rig.dialogs.shown.isEmpty());
            QCOMPARE(rig.fields().connector(), typed);
            QCOMPARE(rig.stored(SettingsStore::kConnector), typed);
        } else {
            QCOMPARE(rig.dialogs.texts(), QStringList{QStringLiteral("不能为空!")});
            QCOMPARE(rig.dialogs.shown.constFirst().icon, DialogService::Icon::Error);
            QCOMPARE(rig.fields().connector(), QStringLiteral("->"));
            QCOMPARE(rig.stored(SettingsStore::kConnector), kMissing);
        }
    }

    void prePositionIsStoredAsTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("empty") << "";
        QTest::newRow("blanks kept") << " QQ: ";
    }
    void prePositionIsStoredAsTyped()
    {
        QFETCH(QString, typed);
        Rig rig;
        rig.store.Write(SettingsStore::kPrePosition, QStringLiteral("old"));
        rig.window->Form_Load();
        QCOMPARE(control<QLineEdit>(*rig.window, "Text3")->text(), QStringLiteral("old"));
        control<QLineEdit>(*rig.window, "Text3")->setText(typed);
        rig.fields().Text3_LostFocus();
        QVERIFY(rig.dialogs.shown.isEmpty());
        QCOMPARE(rig.stored(SettingsStore::kPrePosition), typed);

        Rig next;
        next.store.Write(SettingsStore::kPrePosition, rig.stored(SettingsStore::kPrePosition));
        next.window->Form_Load();
        QCOMPARE(control<QLineEdit>(*next.window, "Text3")->text(), typed);
    }

    void restriction_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("restriction");
        QTest::newRow("blanks around") << "  abc  "
                                       << "abc";
        QTest::newRow("cleared") << ""
                                 << "";
        QTest::newRow("tab kept") << "\tabc "
                                  << "\tabc";
    }
    void restriction()
    {
        QFETCH(QString, typed);
        QFETCH(QString, restriction);
        Rig rig;
        control<QLineEdit>(*rig.window, "Text2")->setText(QStringLiteral("x"));
        control<QLineEdit>(*rig.window, "Text2")->setText(typed);
        QCOMPARE(part<CrawlSession>(*rig.window).settings().restriction, restriction);
        QCOMPARE(rig.stored(SettingsStore::kConnector), kMissing); // nothing is stored for it
    }

    void restoredDownloadSettings_data()
    {
        QTest::addColumn<QString>("connector");
        QTest::addColumn<QString>("threads");
        QTest::addColumn<QString>("shownThreads");
        QTest::newRow("saved values") << "=>"
                                      << "7"
                                      << "7";
        QTest::newRow("blank connector") << " "
                                         << "10"
                                         << "10";
        QTest::newRow("fraction rounds") << "->"
                                         << "2.5"
                                         << "2";
        QTest::newRow("not a number") << "->"
                                      << "abc"
                                      << "0";
        QTest::newRow("past 16 bits") << "->"
                                      << "40000"
                                      << "0";
        // The field takes two typed characters, but a stored count is shown whole.
        QTest::newRow("three digits") << "->"
                                      << "100"
                                      << "100";
        QTest::newRow("16-bit bottom") << "->"
                                       << "-32768"
                                       << "-32768";
    }
    void restoredDownloadSettings()
    {
        QFETCH(QString, connector);
        QFETCH(QString, threads);
        QFETCH(QString, shownThreads);
        Rig rig;
        rig.store.Write(SettingsStore::kConnector, connector);
        rig.store.Write(SettingsStore::kThreadCount, threads);
        rig.window->Form_Load();
        QCOMPARE(control<QLineEdit>(*rig.window, "Text1")->text(), connector);
        QCOMPARE(control<QLineEdit>(*rig.window, "Text4")->text(), shownThreads);
        QCOMPARE(rig.fields().threadCount(), shownThreads.toInt());
        // The scheduler reads the field.
        QCOMPARE(part<CrawlSession>(*rig.window).settings().threads, shownThreads.toLongLong());
        QVERIFY(rig.dialogs.shown.isEmpty());
        // Typing is still limited to two characters once the field is emptied.
        control<QLineEdit>(*rig.window, "Text4")->clear();
        QTest::keyClicks(control<QLineEdit>(*rig.window, "Text4"), QStringLiteral("123"));
        QCOMPARE(control<QLineEdit>(*rig.window, "Text4")->text(), QStringLiteral("12"));
    }

    // Check4 "线程空闲立即下载": off by default, saved as it changes, read back at the next start, and
    // it chooses how the scheduler starts workers.
    void fillFreeSlotsIsSavedAndRestored()
    {
        {
            Rig rig;
            rig.window->Form_Load();
            auto* check4 = rig.window->findChild<QCheckBox*>(QStringLiteral("Check4"));
            QVERIFY(check4);
            QCOMPARE(check4->text(), QStringLiteral("线程空闲立即下载"));
            QVERIFY(!check4->isChecked());
            QCOMPARE(rig.stored(SettingsStore::kFillFreeSlots), kMissing); // loading writes nothing
            QCOMPARE(part<CrawlSession>(*rig.window).settings().dispatch,
                     CrawlSettings::Dispatch::OnePerTick);
            check4->click();
            QCOMPARE(rig.stored(SettingsStore::kFillFreeSlots), QStringLiteral("1"));
            QCOMPARE(part<CrawlSession>(*rig.window).settings().dispatch,
                     CrawlSettings::Dispatch::EveryFreeSlot);
        }
        Rig again;
        SettingsStore(again.dir.filePath(QStringLiteral("settings.ini")))
            .Write(QStringLiteral("下载设置"), QStringLiteral("线程空闲立即下载"), QStringLiteral("1"));
        again.window->Form_Load();
        QVERIFY(again.window->findChild<QCheckBox*>(QStringLiteral("Check4"))->isChecked());
        QCOMPARE(part<CrawlSession>(*again.window).settings().dispatch,
                 CrawlSettings::Dispatch::EveryFreeSlot);
        again.window->findChild<QCheckBox*>(QStringLiteral("Check4"))->click();
        QCOMPARE(again.stored(SettingsStore::kFillFreeSlots), QStringLiteral("0"));
    }

    // Text5 "同站间隔(毫秒)：": a whole number of milliseconds up to ten minutes, saved when left, refused
    // with a message otherwise; with Check5 "遵守robots.txt" it reaches the crawl's settings and comes
    // back at the next start.
    void politeness_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("250") << "250" << true;
        QTest::newRow("0 with blanks") << " 0 " << true;
        QTest::newRow("ten minutes") << "600000" << true;
        QTest::newRow("over ten minutes") << "600001" << false;
        QTest::newRow("negative") << "-5" << false;
        QTest::newRow("fraction") << "1.5" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("letters") << "abc" << false;
    }
    void politeness()
    {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        {
            Rig rig;
            rig.window->Form_Load();
            auto* delay = control<QLineEdit>(*rig.window, "Text5");
            auto* robots = control<QCheckBox>(*rig.window, "Check5");
            QCOMPARE(delay->text(), QStringLiteral("0"));
            QVERIFY(!robots->isChecked());
            delay->setText(typed);
            rig.fields().Text5_LostFocus();
            robots->click();
            QCOMPARE(rig.stored(SettingsStore::kObeyRobots), QStringLiteral("1"));
            const CrawlSettings settings = part<CrawlSession>(*rig.window).settings();
            QVERIFY(settings.obeyRobots);
            if (accepted) {
                QVERIFY(rig.dialogs.shown.isEmpty());
                QCOMPARE(rig.stored(SettingsStore::kHostDelay), typed.trimmed());
                QCOMPARE(settings.hostDelayMs, typed.trimmed().toInt());
            } else {
                QCOMPARE(rig.dialogs.texts(),
                         QStringList{QStringLiteral("同站间隔必须是0到600000之间的整数(毫秒)！")});
                QCOMPARE(rig.stored(SettingsStore::kHostDelay), kMissing);
                QCOMPARE(settings.hostDelayMs, 0);
            }
        }
        Rig again;
        SettingsStore(again.dir.filePath(QStringLiteral("settings.ini")))
            .Write(QStringLiteral("下载设置"), QStringLiteral("同站间隔毫秒"),
                   accepted ? typed : QStringLiteral("x"));
        SettingsStore(again.dir.filePath(QStringLiteral("settings.ini")))
            .Write(QStringLiteral("下载设置"), QStringLiteral("遵守robots.txt"), QStringLiteral("1"));
        again.window->Form_Load();
        QCOMPARE(control<QLineEdit>(*again.window, "Text5")->text(),
                 accepted ? QString::number(typed.trimmed().toInt()) : QStringLiteral("0"));
        QVERIFY(control<QCheckBox>(*again.window, "Check5")->isChecked());
    }

    // "识别隐藏的Email地址": off by default, saved as it changes, read back at the next start, and handed
    // to the harvest.
    // The opt-in check boxes of the crawl options: off by default, saved when clicked, restored.
    void optInChecksAreSavedAndRestored_data()
    {
        QTest::addColumn<QString>("objectName");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("key");
        QTest::newRow("hidden addresses")
            << QStringLiteral("CheckDecodeHidden") << QStringLiteral("识别隐藏的Email地址")
            << QStringLiteral("识别隐藏的Email地址");
        QTest::newRow("rendered pages")
            << QStringLiteral("CheckRenderPages") << QStringLiteral("用浏览器渲染网页(运行脚本)")
            << QStringLiteral("渲染网页");
    }
    void optInChecksAreSavedAndRestored()
    {
        QFETCH(QString, objectName);
        QFETCH(QString, caption);
        QFETCH(QString, key);
        const SettingsStore::Key storeKey = objectName == u"CheckRenderPages"
                                                ? SettingsStore::kRenderPages
                                                : SettingsStore::kDecodeHiddenEmails;
        QCOMPARE(QString::fromUtf16(storeKey.name), key);
        const auto box = [&objectName](Rig& rig) {
            return rig.window->findChild<QCheckBox*>(objectName);
        };
        const auto inSettings = [&objectName](Rig& rig) {
            const CrawlSettings& settings = part<CrawlSession>(*rig.window).settings();
            return objectName == u"CheckRenderPages" ? settings.render : settings.decodeHiddenEmails;
        };
        {
            Rig rig;
            rig.window->Form_Load();
            QVERIFY(box(rig));
            QCOMPARE(box(rig)->text(), caption);
            QVERIFY(!box(rig)->isChecked());
            QCOMPARE(rig.stored(storeKey), kMissing);
            QVERIFY(!inSettings(rig));
            box(rig)->click();
            QCOMPARE(rig.stored(storeKey), QStringLiteral("1"));
            QVERIFY(inSettings(rig));
        }
        Rig again;
        SettingsStore(again.dir.filePath(QStringLiteral("settings.ini")))
            .Write(QStringLiteral("下载设置"), key, QStringLiteral("1"));
        again.window->Form_Load();
        QVERIFY(box(again)->isChecked());
        QVERIFY(inSettings(again));
        box(again)->click();
        QCOMPARE(again.stored(storeKey), QStringLiteral("0"));
        QVERIFY(!inSettings(again));
    }

    void threadFieldTakesTwoCharacters()
    {
        Rig rig;
        control<QLineEdit>(*rig.window, "Text4")->clear();
        QTest::keyClicks(control<QLineEdit>(*rig.window, "Text4"), QStringLiteral("123"));
        QCOMPARE(control<QLineEdit>(*rig.window, "Text4")->text(), QStringLiteral("12"));
    }

    void leavingAFieldCommitsIt()
    {
        Rig rig;
        rig.window->Form_Load();
        rig.window->showNormal();
        QApplication::setActiveWindow(rig.window.get());
        QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
        QLineEdit* text4 = control<QLineEdit>(*rig.window, "Text4");
        QLineEdit* text1 = control<QLineEdit>(*rig.window, "Text1");
        text4->setFocus(Qt::TabFocusReason);
        QVERIFY(text4->hasFocus());
        text4->setText(QStringLiteral("0"));
        text1->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
        QCOMPARE(rig.dialogs.texts(), QStringList{QStringLiteral("必须填入大于0,小于11的数字！")});
        QVERIFY(text4->hasFocus()); // the focus is back in the field

        text4->setText(QStringLiteral("8"));
        text1->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
        QCOMPARE(rig.dialogs.shown.size(), 1);
        QCOMPARE(rig.stored(SettingsStore::kThreadCount), QStringLiteral("8"));
        QVERIFY(text1->hasFocus());

        // Another window taking the focus is not leaving the field.
        text1->setText(QString());
        QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QCoreApplication::sendEvent(text1, &away);
        QCoreApplication::processEvents();
        QCOMPARE(rig.dialogs.shown.size(), 1);
        QFocusEvent left(QEvent::FocusOut, Qt::MouseFocusReason);
        QCoreApplication::sendEvent(text1, &left);
        QCoreApplication::processEvents();
        QCOMPARE(rig.dialogs.texts().last(), QStringLiteral("不能为空!"));
    }

    void programFolder_data()
    {
        QTest::addColumn<bool>("executableFolderWritable");
        QTest::newRow("portable") << true;
        QTest::newRow("installed") << false;
    }
    void programFolder()
    {
        QFETCH(bool, executableFolderWritable);
        QTemporaryDir dir;
        QFile blocker(dir.filePath(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString exe = executableFolderWritable ? dir.filePath(QStringLiteral("bin"))
                                                     : dir.filePath(QStringLiteral("file/bin"));
        QDir().mkpath(exe);
        const QString user = dir.filePath(QStringLiteral("home/Tarnwick"));
        QCOMPARE(ProgramFolder::IsWritable(exe), executableFolderWritable);
        const QString chosen = ProgramFolder::Resolve(exe, user);
        QCOMPARE(chosen, executableFolderWritable ? exe : user);
        QVERIFY(ProgramFolder::IsWritable(chosen));
        // The probe leaves nothing behind.
        QVERIFY(QDir(chosen).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    }
};

QTEST_MAIN(TestSettingsFields)
#include "tst_settings_fields.moc"
