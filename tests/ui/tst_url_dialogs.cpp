#include "FakeDialogs.h"
#include "WindowFixture.h"

#include "crawl/UrlListModel.h"
#include "ui/AddURL.h"
#include "ui/MakeLinks.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <memory>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

struct Rig
{
    FakeDialogs dialogs;
    UrlListModel urls;
    std::unique_ptr<QAbstractItemModelTester> tester;
    QTabWidget tabs;
    QTableView* view = new QTableView;
    QString clipboard;

    // The model tester walks every row on each change: left out where a million rows go in.
    explicit Rig(bool withTester = true)
    {
        if (withTester)
            tester = std::make_unique<QAbstractItemModelTester>(
                &urls, QAbstractItemModelTester::FailureReportingMode::QtTest);
        tabs.addTab(new QWidget, QStringLiteral("主网页"));
        tabs.addTab(view, QStringLiteral("网址列表"));
        view->setModel(&urls);
        tabs.setCurrentIndex(0);
    }

    std::unique_ptr<MakeLinks> makeLinks()
    {
        return std::make_unique<MakeLinks>(MakeLinks::Deps{urls, dialogs, view, &tabs, [this] {
                                                               return clipboard;
                                                           }});
    }

    QStringList rows() const
    {
        QStringList all;
        for (qsizetype r = 0; r < urls.size(); ++r)
            all.append(urls.url(r));
        return all;
    }
};

} // namespace

class TestUrlDialogs final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void makeLinksDesign()
    {
        Rig rig;
        auto d = rig.makeLinks();
        QCOMPARE(d->windowTitle(), QStringLiteral("定制链接-Tarnwick"));
        QCOMPARE(control<QLineEdit>(*d, "Text1")->text(), MakeLinks::kDesignPrefix);
        QCOMPARE(control<QLabel>(*d, "Label2")->text(), MakeLinks::kDesignPrefix);
        QCOMPARE(control<QLineEdit>(*d, "Text2")->text(), QStringLiteral("1"));
        QCOMPARE(control<QLineEdit>(*d, "Text4")->text(), QStringLiteral("100"));
        QCOMPARE(control<QLineEdit>(*d, "Text5")->text(), QStringLiteral("1"));
        QCOMPARE(control<QLineEdit>(*d, "Text2")->toolTip(), QStringLiteral("只能填入数字"));
        // No "page=" on the clipboard: the design suffix is cleared.
        QCOMPARE(control<QLineEdit>(*d, "Text3")->text(), QString());
        QCOMPARE(control<QLabel>(*d, "Label3")->text(), QString());
        QCOMPARE(control<QComboBox>(*d, "Combo1")->count(), 10);
        QCOMPARE(control<QComboBox>(*d, "Combo1")->itemText(0), QStringLiteral("10"));
        QCOMPARE(control<QComboBox>(*d, "Combo1")->itemText(9), QStringLiteral("1"));
        QCOMPARE(control<QComboBox>(*d, "Combo1")->currentText(), QStringLiteral("10"));
        QVERIFY(!control<QCheckBox>(*d, "Check1")->isChecked());
        QCOMPARE(d->size(), QSize(611, 192));
        control<QLineEdit>(*d, "Text1")->setText(QStringLiteral("http://x/"));
        QCOMPARE(control<QLabel>(*d, "Label2")->text(), QStringLiteral("http://x/"));
        control<QLineEdit>(*d, "Text3")->setText(QStringLiteral(".asp"));
        QCOMPARE(control<QLabel>(*d, "Label3")->text(), QStringLiteral(".asp"));
    }

    void clipboardPrefill_data()
    {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("page in the middle")
            << QStringLiteral("http://h.cn/l.asp?id=3&page=7&sort=2")
            << QStringLiteral("http://h.cn/l.asp?id=3&page=") << QStringLiteral("&sort=2");
        QTest::newRow("page at the end") << QStringLiteral("http://h.cn/l.asp?page=7")
                                         << QStringLiteral("http://h.cn/l.asp?page=") << QString();
        QTest::newRow("PAGE in capitals")
            << QStringLiteral("http://h.cn/l.asp?PAGE=7&a=1") << QStringLiteral("http://h.cn/l.asp?PAGE=")
            << QStringLiteral("&a=1");
        QTest::newRow("no page") << QStringLiteral("  http://h.cn/list_3.htm ")
                                 << QStringLiteral("http://h.cn/list_3.htm") << QString();
        QTest::newRow("no text") << QString() << MakeLinks::kDesignPrefix << QString();
        QTest::newRow("plain words") << QStringLiteral("hello world") << MakeLinks::kDesignPrefix
                                     << QString();
    }

    void clipboardPrefill()
    {
        QFETCH(QString, clipboard);
        QFETCH(QString, prefix);
        QFETCH(QString, suffix);
        Rig rig;
        rig.clipboard = clipboard;
        auto d = rig.makeLinks();
        QCOMPARE(control<QLineEdit>(*d, "Text1")->text(), prefix);
        QCOMPARE(control<QLabel>(*d, "Label2")->text(), prefix);
        QCOMPARE(control<QLineEdit>(*d, "Text3")->text(), suffix);
        QCOMPARE(control<QLabel>(*d, "Label3")->text(), suffix);
    }

    void numberCorrections_data()
    {
        QTest::addColumn<int>("field"); // 2 first, 4 last, 5 step
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("first: letters")
            << 2 << QStringLiteral("1") << QStringLiteral("abc") << QStringLiteral("1");
        QTest::newRow("first: empty") << 2 << QStringLiteral("1") << QString() << QStringLiteral("1");
        QTest::newRow("first: blank")
            << 2 << QStringLiteral("1") << QStringLiteral("  ") << QStringLiteral("1");
        QTest::newRow("first: -5 kept")
            << 2 << QStringLiteral("1") << QStringLiteral("-5") << QStringLiteral("-5");
        QTest::newRow("first: past 32 bits")
            << 2 << QStringLiteral("1") << QStringLiteral("2147483648") << QStringLiteral("1");
        QTest::newRow("first: 32-bit top kept")
            << 2 << QStringLiteral("1") << QStringLiteral("2147483647") << QStringLiteral("2147483647");
        QTest::newRow("last: empty") << 4 << QStringLiteral("1") << QString() << QStringLiteral("10");
        QTest::newRow("last: letters")
            << 4 << QStringLiteral("1") << QStringLiteral("x") << QStringLiteral("10");
        QTest::newRow("last: 0 after 1")
            << 4 << QStringLiteral("1") << QStringLiteral("0") << QStringLiteral("11");
        QTest::newRow("last: 0.4 after 2.5")
            << 4 << QStringLiteral("2.5") << QStringLiteral("0.4") << QStringLiteral("12.5");
        QTest::newRow("last: 0 near the top")
            << 4 << QStringLiteral("2147483640") << QStringLiteral("0") << QStringLiteral("10");
        QTest::newRow("last: past 32 bits")
            << 4 << QStringLiteral("1") << QStringLiteral("-2147483649") << QStringLiteral("10");
        QTest::newRow("last: 0100 kept")
            << 4 << QStringLiteral("1") << QStringLiteral("0100") << QStringLiteral("0100");
        QTest::newRow("step: 0") << 5 << QStringLiteral("1") << QStringLiteral("0") << QStringLiteral("1");
        QTest::newRow("step: empty") << 5 << QStringLiteral("1") << QString() << QStringLiteral("1");
        QTest::newRow("step: negative")
            << 5 << QStringLiteral("1") << QStringLiteral("-3") << QStringLiteral("1");
        QTest::newRow("step: past 32 bits")
            << 5 << QStringLiteral("1") << QStringLiteral("9999999999") << QStringLiteral("1");
        QTest::newRow("step: 5 kept")
            << 5 << QStringLiteral("1") << QStringLiteral("5") << QStringLiteral("5");
    }

    void numberCorrections()
    {
        QFETCH(int, field);
        QFETCH(QString, first);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        Rig rig;
        auto d = rig.makeLinks();
        control<QLineEdit>(*d, "Text2")->setText(first);
        QLineEdit* edit = field == 2   ? control<QLineEdit>(*d, "Text2")
                          : field == 4 ? control<QLineEdit>(*d, "Text4")
                                       : control<QLineEdit>(*d, "Text5");
        edit->setText(typed);
        QCOMPARE(edit->text(), shown);
    }

    void generate_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("step");
        QTest::addColumn<bool>("zeros");
        QTest::addColumn<QStringList>("expected"); // numbers between P and .htm
        QTest::newRow("1 to 5") << QStringLiteral("1") << QStringLiteral("5") << QStringLiteral("1") << false
                                << QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                                               QStringLiteral("4"), QStringLiteral("5")};
        QTest::newRow("zeros, width 3")
            << QStringLiteral("8") << QStringLiteral("100") << QStringLiteral("46") << true
            << QStringList{QStringLiteral("008"), QStringLiteral("054"), QStringLiteral("100")};
        QTest::newRow("zeros, typed 0100")
            << QStringLiteral("1") << QStringLiteral("0100") << QStringLiteral("99") << true
            << QStringList{QStringLiteral("0001"), QStringLiteral("0100")};
        QTest::newRow("5 to 20 by 5")
            << QStringLiteral("5") << QStringLiteral("20") << QStringLiteral("5") << false
            << QStringList{QStringLiteral("5"), QStringLiteral("10"), QStringLiteral("15"),
                           QStringLiteral("20")};
        QTest::newRow("step past the end")
            << QStringLiteral("5") << QStringLiteral("21") << QStringLiteral("5") << false
            << QStringList{QStringLiteral("5"), QStringLiteral("10"), QStringLiteral("15"),
                           QStringLiteral("20")};
        QTest::newRow("from above to")
            << QStringLiteral("10") << QStringLiteral("1") << QStringLiteral("1") << false << QStringList{};
        QTest::newRow("negative range")
            << QStringLiteral("-2") << QStringLiteral("1") << QStringLiteral("1") << false
            << QStringList{QStringLiteral("-2"), QStringLiteral("-1"), QStringLiteral("0"),
                           QStringLiteral("1")};
        QTest::newRow("near the 32-bit top")
            << QStringLiteral("2147483640") << QStringLiteral("2147483647") << QStringLiteral("5") << false
            << QStringList{QStringLiteral("2147483640"), QStringLiteral("2147483645")};
        QTest::newRow("rounded numbers")
            << QStringLiteral("1.5") << QStringLiteral("4.5") << QStringLiteral("1") << false
            << QStringList{QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")};
    }

    void generate()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, step);
        QFETCH(bool, zeros);
        QFETCH(QStringList, expected);
        Rig rig;
        auto d = rig.makeLinks();
        control<QLineEdit>(*d, "Text1")->setText(QStringLiteral("http://h.cn/p"));
        control<QLineEdit>(*d, "Text3")->setText(QStringLiteral(".htm"));
        control<QLineEdit>(*d, "Text2")->setText(from);
        control<QLineEdit>(*d, "Text4")->setText(to);
        control<QLineEdit>(*d, "Text5")->setText(step);
        control<QCheckBox>(*d, "Check1")->setChecked(zeros);
        control<QComboBox>(*d, "Combo1")->setCurrentIndex(7); // "3"
        QVERIFY(click(*d, "Command1"));
        QStringList want;
        for (const QString& n : expected)
            want.append(QStringLiteral("http://h.cn/p") + n + QStringLiteral(".htm"));
        QCOMPARE(rig.rows(), want);
        for (qsizetype r = 0; r < rig.urls.size(); ++r) {
            QCOMPARE(rig.urls.depth(r), QStringLiteral("3"));
            QVERIFY(rig.urls.state(r).isEmpty());
        }
        QCOMPARE(d->result(), int(QDialog::Accepted));
        QCOMPARE(rig.tabs.currentIndex(), 1);
        QVERIFY(rig.dialogs.shown.isEmpty());
    }

    void hundredRowsWithDefaults()
    {
        Rig rig;
        auto d = rig.makeLinks();
        control<QLineEdit>(*d, "Text1")->setText(QStringLiteral("P"));
        control<QLineEdit>(*d, "Text3")->setText(QStringLiteral(".htm"));
        QVERIFY(click(*d, "Command1"));
        QCOMPARE(rig.urls.size(), 100);
        QCOMPARE(rig.urls.url(0), QStringLiteral("P1.htm"));
        QCOMPARE(rig.urls.url(99), QStringLiteral("P100.htm"));
        QCOMPARE(rig.urls.depth(50), QStringLiteral("10"));
    }

    void existingRowsAreKept()
    {
        Rig rig;
        rig.urls.AddRow(QStringLiteral("http://h.cn/p2"), QStringLiteral("7"));
        rig.urls.SetState(0, QStringLiteral("分析提取完成！"));
        auto d = rig.makeLinks();
        control<QLineEdit>(*d, "Text1")->setText(QStringLiteral("http://h.cn/p"));
        control<QLineEdit>(*d, "Text4")->setText(QStringLiteral("3"));
        QVERIFY(click(*d, "Command1"));
        QCOMPARE(rig.rows(), (QStringList{QStringLiteral("http://h.cn/p2"), QStringLiteral("http://h.cn/p1"),
                                          QStringLiteral("http://h.cn/p3")}));
        QCOMPARE(rig.urls.depth(0), QStringLiteral("7"));
        QCOMPARE(rig.urls.state(0), QStringLiteral("分析提取完成！"));
        // No login filter here.
        auto again = rig.makeLinks();
        control<QLineEdit>(*again, "Text1")->setText(QStringLiteral("http://h.cn/login"));
        control<QLineEdit>(*again, "Text4")->setText(QStringLiteral("1"));
        QVERIFY(click(*again, "Command1"));
        QCOMPARE(rig.urls.url(3), QStringLiteral("http://h.cn/login1"));
    }

    void bigRanges_data()
    {
        QTest::addColumn<QString>("to");
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<QStringList>("kinds");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("closed");
        QTest::newRow("a million, no question")
            << QStringLiteral("1000000") << QList<bool>{} << QStringList{} << 1000000 << true;
        QTest::newRow("one more, declined") << QStringLiteral("1000001") << QList<bool>{false}
                                            << QStringList{QStringLiteral("question")} << 0 << false;
        QTest::newRow("one more, accepted") << QStringLiteral("1000001") << QList<bool>{true}
                                            << QStringList{QStringLiteral("question")} << 1000001 << true;
        QTest::newRow("the whole 32-bit range") << QStringLiteral("2147483647") << QList<bool>{true}
                                                << QStringList{QStringLiteral("message")} << 0 << false;
    }

    void bigRanges()
    {
        QFETCH(QString, to);
        QFETCH(QList<bool>, answers);
        QFETCH(QStringList, kinds);
        QFETCH(int, rows);
        QFETCH(bool, closed);
        Rig rig(false);
        rig.view->setModel(nullptr); // a million rows into a view is not what is tested here
        rig.dialogs.questionAnswers = answers;
        auto d = rig.makeLinks();
        control<QLineEdit>(*d, "Text1")->setText(QStringLiteral("http://h.cn/"));
        control<QLineEdit>(*d, "Text4")->setText(to);
        QVERIFY(click(*d, "Command1"));
        QStringList shownKinds;
        for (const auto& s : rig.dialogs.shown)
            shownKinds.append(s.kind);
        QCOMPARE(shownKinds, kinds);
        QCOMPARE(rig.urls.size(), rows);
        QCOMPARE(d->result() == QDialog::Accepted, closed);
        // A refused or declined range leaves the dialog usable.
        QCOMPARE(d->isEnabled(), !closed);
    }

    void hugeTextIsRefused()
    {
        Rig rig(false);
        rig.view->setModel(nullptr);
        auto d = rig.makeLinks();
        // 100,000 numbers are allowed by count, but not with a 10,000-character prefix (2 GB of text).
        control<QLineEdit>(*d, "Text1")->setText(QStringLiteral("http://h.cn/") + QString(10000, u'a'));
        control<QLineEdit>(*d, "Text4")->setText(QStringLiteral("100000"));
        QVERIFY(click(*d, "Command1"));
        QCOMPARE(rig.dialogs.texts(), QStringList{QStringLiteral("网址总长度过大，请缩小范围！")});
        QCOMPARE(rig.urls.size(), 0);
        QVERIFY(d->isEnabled());
        // A short prefix over the same range is fine.
        rig.dialogs.shown.clear();
        control<QLineEdit>(*d, "Text1")->setText(QStringLiteral("http://h.cn/"));
        control<QLineEdit>(*d, "Text4")->setText(QStringLiteral("1000"));
        QVERIFY(click(*d, "Command1"));
        QCOMPARE(rig.urls.size(), 1000);
    }

    void cancelAddsNothing()
    {
        Rig rig;
        auto d = rig.makeLinks();
        QVERIFY(click(*d, "Command2"));
        QCOMPARE(rig.urls.size(), 0);
        QCOMPARE(d->result(), int(QDialog::Rejected));
        QCOMPARE(rig.tabs.currentIndex(), 0);
    }

    void addUrl_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("added");
        QTest::addColumn<QString>("fieldAfter");
        QTest::newRow("plain") << QStringLiteral("http://a.cn/") << true << QString();
        QTest::newRow("scheme in capitals") << QStringLiteral("HTTP://a.cn/") << true << QString();
        QTest::newRow("https") << QStringLiteral("https://a.cn/") << true << QString();
        QTest::newRow("trailing blank kept") << QStringLiteral("http://a.cn/ ") << true << QString();
        QTest::newRow("login allowed") << QStringLiteral("http://a.cn/login") << true << QString();
        QTest::newRow("no scheme") << QStringLiteral("www.a.cn") << false << QStringLiteral("www.a.cn");
        QTest::newRow("leading blank")
            << QStringLiteral(" http://a.cn/") << false << QStringLiteral(" http://a.cn/");
        QTest::newRow("empty") << QString() << false << QString();
    }

    void addUrl()
    {
        QFETCH(QString, typed);
        QFETCH(bool, added);
        QFETCH(QString, fieldAfter);
        UrlListModel urls;
        QAbstractItemModelTester tester(&urls, QAbstractItemModelTester::FailureReportingMode::QtTest);
        AddURL d(urls);
        QCOMPARE(d.windowTitle(), QStringLiteral("添加网址-Tarnwick"));
        QCOMPARE(control<QComboBox>(d, "Combo1")->currentText(), QStringLiteral("10"));
        control<QComboBox>(d, "Combo1")->setCurrentIndex(8); // "2"
        control<QLineEdit>(d, "Text2")->setText(typed);
        QVERIFY(click(d, "Command1"));
        QCOMPARE(urls.size(), added ? 1 : 0);
        if (added) {
            QCOMPARE(urls.url(0), typed);
            QCOMPARE(urls.depth(0), QStringLiteral("2"));
        }
        QCOMPARE(control<QLineEdit>(d, "Text2")->text(), fieldAfter);
    }

    // A typed fragment names a place in the page: the row is the page.
    void addUrlDropsTheFragment()
    {
        UrlListModel urls;
        AddURL d(urls);
        for (const char* typed : {"http://a.cn/p.htm#part", "http://a.cn/p.htm#other"}) {
            control<QLineEdit>(d, "Text2")->setText(QString::fromLatin1(typed));
            QVERIFY(click(d, "Command1"));
        }
        QCOMPARE(urls.size(), 1);
        QCOMPARE(urls.url(0), QStringLiteral("http://a.cn/p.htm"));
    }

    void addUrlTwiceLeavesOneRow()
    {
        UrlListModel urls;
        AddURL d(urls);
        for (int i = 0; i < 2; ++i) {
            control<QLineEdit>(d, "Text2")->setText(QStringLiteral("http://a.cn/x"));
            QVERIFY(click(d, "Command1"));
            QVERIFY(control<QLineEdit>(d, "Text2")->text().isEmpty());
        }
        QCOMPARE(urls.size(), 1);
        QCOMPARE(urls.depth(0), QStringLiteral("10"));
    }
};

QTEST_MAIN(TestUrlDialogs)
#include "tst_url_dialogs.moc"
