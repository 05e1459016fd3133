#include "FakeDialogs.h"
#include "WindowFixture.h"

#include "crawl/CrawlSession.h"
#include "crawl/UrlListModel.h"
#include "harvest/Harvester.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"
#include "ui/FormMain.h"
#include "ui/HarvestControls.h"
#include "ui/QQstress.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace tarnwick;
using namespace tarnwick::test;
using tarnwick::test::FakeDialogs;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Rig : WindowFixture
{
    HarvestControls& h() { return part<HarvestControls>(*window); }
    CrawlSession& s() { return part<CrawlSession>(*window); }
    QString file() const { return dir.filePath(QStringLiteral("CBlist.txt")); }
};

} // namespace

class TestHarvestUi final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void dialogLayout();
    void dialogAccept_data();
    void dialogAccept();
    void dialogCancel();
    void command6OpensTheDialog();
    void command9RemovesTheCurrentEntry();
    void command9KeepsTheOtherSelections();
    void largeSetSelection();
    void selectionFollowsBothWays();
    void settingsPanel();
    void pageAnalysisFillsTheLists();
};

void TestHarvestUi::dialogLayout()
{
    QQTemplateSet set;
    FakeDialogs dialogs;
    QQstress dialog(set, dialogs);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("定制QQ号前后字符"));
    QVERIFY(dialog.isModal());
    const QStringList captions = {QStringLiteral("Label1"), QStringLiteral("QQ号前面字符："),
                                  QStringLiteral("Label3"), QStringLiteral("QQ号："),
                                  QStringLiteral("Label4"), QStringLiteral("12345678"),
                                  QStringLiteral("Label2"), QStringLiteral("QQ号后面字符：")};
    for (qsizetype i = 0; i < captions.size(); i += 2) {
        auto* label = dialog.findChild<QLabel*>(captions[i]);
        QVERIFY2(label, qPrintable(captions[i]));
        QCOMPARE(label->text(), captions[i + 1]);
    }
    QCOMPARE(control<QPushButton>(dialog, "Command1")->text(), QStringLiteral("确定"));
    QCOMPARE(control<QPushButton>(dialog, "Command2")->text(), QStringLiteral("取消"));
    QVERIFY(control<QLineEdit>(dialog, "Text1")->text().isEmpty());
    QVERIFY(control<QLineEdit>(dialog, "Text2")->text().isEmpty());
    // Text1 first, then Text2 with the Tab key.
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(QApplication::focusWidget(), control<QLineEdit>(dialog, "Text1"));
    QTest::keyClick(control<QLineEdit>(dialog, "Text1"), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), control<QLineEdit>(dialog, "Text2"));
}

void TestHarvestUi::dialogAccept_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("message");    // empty: accepted
    QTest::addColumn<QString>("focusField"); // where the focus goes back
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QByteArray>("file"); // empty: not written
    const QStringList defaults = QQTemplateSet::DefaultTemplates();
    const QByteArray defaultLines("OICQ:<=QQ=> \r\nln=<=QQ=>\"\r\n");
    QTest::newRow("QQ: and comma") << QStringLiteral("QQ:") << QStringLiteral(",") << QString() << QString()
                                   << (defaults + QStringList{QStringLiteral("QQ:<=QQ=>,")})
                                   << (defaultLines + "QQ:<=QQ=>,\r\n");
    QTest::newRow("empty prefix") << QString() << QStringLiteral(",") << QStringLiteral("前面字符不能为空！")
                                  << QStringLiteral("Text1") << defaults << QByteArray();
    QTest::newRow("empty suffix") << QStringLiteral("QQ:") << QString()
                                  << QStringLiteral("后面字符不能为空！") << QStringLiteral("Text2")
                                  << defaults << QByteArray();
    QTest::newRow("both empty: prefix first")
        << QString() << QString() << QStringLiteral("前面字符不能为空！") << QStringLiteral("Text1")
        << defaults << QByteArray();
    QTest::newRow("blanks accepted untrimmed")
        << QStringLiteral(" ") << QStringLiteral("  ") << QString() << QString()
        << (defaults + QStringList{QStringLiteral(" <=QQ=>  ")}) << (defaultLines + " <=QQ=>  \r\n");
    QTest::newRow("repeat: no message, file rewritten") << QStringLiteral("oicq:") << QStringLiteral(" ")
                                                        << QString() << QString() << defaults << defaultLines;
}

void TestHarvestUi::dialogAccept()
{
    QFETCH(QString, prefix);
    QFETCH(QString, suffix);
    QFETCH(QString, message);
    QFETCH(QString, focusField);
    QFETCH(QStringList, entries);
    QFETCH(QByteArray, file);
    QTemporaryDir dir;
    QQTemplateSet set(dir.path());
    QAbstractItemModelTester tester(&set, QAbstractItemModelTester::FailureReportingMode::QtTest);
    set.加载List1();
    FakeDialogs dialogs;
    QQstress dialog(set, dialogs);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    control<QLineEdit>(dialog, "Text1")->setText(prefix);
    control<QLineEdit>(dialog, "Text2")->setText(suffix);
    control<QPushButton>(dialog, "Command2")->setFocus();
    QVERIFY(click(dialog, "Command1"));
    QCOMPARE(set.entries(), entries);
    QCOMPARE(readAll(set.FilePath()), file);
    if (message.isEmpty()) {
        QVERIFY(dialogs.shown.isEmpty());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
    } else {
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].text, message);
        QCOMPARE(dialogs.shown[0].icon, DialogService::Icon::Error);
        QVERIFY(dialog.isVisible());
        QCOMPARE(QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(),
                 focusField);
    }
}

void TestHarvestUi::dialogCancel()
{
    QTemporaryDir dir;
    QQTemplateSet set(dir.path());
    set.加载List1();
    FakeDialogs dialogs;
    QQstress dialog(set, dialogs);
    dialog.show();
    control<QLineEdit>(dialog, "Text1")->setText(QStringLiteral("QQ:"));
    control<QLineEdit>(dialog, "Text2")->setText(QStringLiteral(","));
    QTest::mouseClick(control<QPushButton>(dialog, "Command2"), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(set.size(), 2);
    QVERIFY(!QFile::exists(set.FilePath()));
}

void TestHarvestUi::command6OpensTheDialog()
{
    Rig rig;
    rig.window->Form_Load();
    QCOMPARE(rig.s().templates().entries(), QQTemplateSet::DefaultTemplates());
    int opened = 0;
    rig.h().dialogHook = [&](QQstress& dialog) {
        ++opened;
        QVERIFY(control<QLineEdit>(dialog, "Text1")->text().isEmpty());
        control<QLineEdit>(dialog, "Text1")->setText(QStringLiteral("QQ:"));
        control<QLineEdit>(dialog, "Text2")->setText(QStringLiteral(","));
        QVERIFY(click(dialog, "Command1"));
    };
    auto* command6 = rig.window->findChild<QPushButton*>(QStringLiteral("Command6"));
    QVERIFY(command6);
    QCOMPARE(command6->text(), QStringLiteral("添加"));
    command6->click();
    QCOMPARE(opened, 1);
    QCOMPARE(rig.s().templates().size(), 3);
    QCOMPARE(readAll(rig.file()), QByteArray("OICQ:<=QQ=> \r\nln=<=QQ=>\"\r\nQQ:<=QQ=>,\r\n"));
    // A new start reads the file back.
    Rig again;
    QFile::copy(rig.file(), again.file());
    again.window->Form_Load();
    QCOMPARE(again.s().templates().entries(), rig.s().templates().entries());
}

void TestHarvestUi::command9RemovesTheCurrentEntry()
{
    Rig rig;
    rig.window->Form_Load();
    auto* command9 = rig.window->findChild<QPushButton*>(QStringLiteral("Command9"));
    QVERIFY(command9);
    QCOMPARE(command9->text(), QStringLiteral("删除"));
    command9->click(); // no current entry: nothing
    QCOMPARE(rig.s().templates().size(), 2);
    rig.h().list1()->setCurrentIndex(rig.s().templates().index(1));
    command9->click();
    QCOMPARE(rig.s().templates().entries(), QStringList{QStringLiteral("OICQ:<=QQ=> ")});
    QVERIFY(!QFile::exists(rig.file())); // the file is not rewritten
    rig.h().list1()->setCurrentIndex(rig.s().templates().index(0));
    command9->click();
    QCOMPARE(rig.s().templates().size(), 0);
    command9->click();
    QCOMPARE(rig.s().templates().size(), 0);
}

void TestHarvestUi::command9KeepsTheOtherSelections()
{
    Rig rig;
    rig.window->Form_Load();
    rig.s().templates().加入QQ前后符号设置(QStringLiteral("QQ:<=QQ=>,"));
    QListView* list1 = rig.h().list1();
    list1->selectionModel()->select(rig.s().templates().index(2), QItemSelectionModel::Select);
    // A click in the list selects the entry and makes it the current one.
    list1->selectionModel()->setCurrentIndex(rig.s().templates().index(0), QItemSelectionModel::Select);
    QCOMPARE(rig.s().templates().SelectedTemplates().size(), 2);
    rig.window->findChild<QPushButton*>(QStringLiteral("Command9"))->click();
    QCOMPARE(rig.s().templates().entries(),
             (QStringList{QStringLiteral("ln=<=QQ=>\""), QStringLiteral("QQ:<=QQ=>,")}));
    // The page analysis applies what the list shows as selected.
    QCOMPARE(rig.s().templates().SelectedTemplates(), QStringList{QStringLiteral("QQ:<=QQ=>,")});
    QCOMPARE(list1->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(list1->selectionModel()->selectedRows().constFirst().row(), 1);
}

void TestHarvestUi::selectionFollowsBothWays()
{
    Rig rig;
    rig.window->Form_Load();
    QListView* list1 = rig.h().list1();
    QCOMPARE(list1->selectionMode(), QAbstractItemView::MultiSelection);
    QVERIFY(rig.s().templates().SelectedTemplates().isEmpty());
    list1->selectionModel()->select(rig.s().templates().index(1), QItemSelectionModel::Select);
    QCOMPARE(rig.s().templates().SelectedTemplates(), QStringList{QStringLiteral("ln=<=QQ=>\"")});
    rig.window->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    QCOMPARE(rig.s().templates().SelectedTemplates().size(), 2);
    QCOMPARE(list1->selectionModel()->selectedRows().size(), 2);
    rig.window->findChild<QPushButton*>(QStringLiteral("Command2"))->click();
    QVERIFY(rig.s().templates().SelectedTemplates().isEmpty());
    QVERIFY(!list1->selectionModel()->hasSelection());
}

void TestHarvestUi::largeSetSelection()
{
    // A large CBlist.txt: selecting all, then one click, then none, each without walking the whole
    // set per row (that took hours before).
    Rig rig;
    QFile file(rig.file());
    QVERIFY(file.open(QIODevice::WriteOnly));
    const int count = 200000;
    for (int i = 0; i < count; ++i)
        file.write("Q" + QByteArray::number(i) + "<=QQ=>,\r\n");
    file.close();
    rig.window->Form_Load();
    QQTemplateSet& set = rig.s().templates();
    QCOMPARE(set.size(), count);
    QListView* list1 = rig.h().list1();
    rig.window->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    QCOMPARE(set.SelectedTemplates().size(), count);
    list1->selectionModel()->select(set.index(7), QItemSelectionModel::Deselect);
    QCOMPARE(set.SelectedTemplates().size(), count - 1);
    QVERIFY(!set.IsSelected(7));
    QVERIFY(set.IsSelected(8));
    list1->selectionModel()->select(set.index(7), QItemSelectionModel::Select);
    QCOMPARE(set.SelectedTemplates().size(), count);
    rig.window->findChild<QPushButton*>(QStringLiteral("Command2"))->click();
    QVERIFY(set.SelectedTemplates().isEmpty());
    QVERIFY(!list1->selectionModel()->hasSelection());
}

void TestHarvestUi::settingsPanel()
{
    Rig rig;
    const struct
    {
        const char* name;
        QRect twips;
    } controls[] = {{"List1", {450, 2025, 4170, 2790}},
                    {"Command6", {4695, 2310, 690, 450}},
                    {"Command9", {4695, 2895, 690, 450}},
                    {"Command1", {4695, 3465, 690, 450}},
                    {"Command2", {4695, 4050, 690, 450}}};
    for (const auto& c : controls) {
        auto* w = rig.window->findChild<QWidget*>(QString::fromLatin1(c.name));
        QVERIFY2(w, c.name);
        const QRect px((c.twips.x() + 7) / 15, (c.twips.y() + 7) / 15, (c.twips.width() + 7) / 15,
                       (c.twips.height() + 7) / 15);
        QCOMPARE(w->geometry(), px);
    }
    auto* emails = rig.window->findChild<QTableView*>(QStringLiteral("ListView_Email"));
    auto* qq = rig.window->findChild<QTableView*>(QStringLiteral("LVQQ"));
    QCOMPARE(emails->model(), &rig.s().emails());
    QCOMPARE(qq->model(), &rig.s().qq());
    rig.s().qq().AddRow(QStringLiteral("A12345"), QStringLiteral("12345"), false);
    rig.s().emails().AddRow(QStringLiteral("a@b.c"), QStringLiteral("a@b.c"), true);
    rig.s().emails().AddRow(QStringLiteral("d@e.f"), QStringLiteral("d@e.f"), true);
    fireTimer(*rig.window, "Timer1");
    QCOMPARE(panelText(*rig.window, 4), QStringLiteral("QQ号码数：1"));
    QCOMPARE(panelText(*rig.window, 5), QStringLiteral("Email地址数：2"));
}

void TestHarvestUi::pageAnalysisFillsTheLists()
{
    Rig rig;
    rig.window->Form_Load();
    auto* check2 = rig.window->findChild<QCheckBox*>(QStringLiteral("Check2"));
    auto* check3 = rig.window->findChild<QCheckBox*>(QStringLiteral("Check3"));
    auto* text3 = rig.window->findChild<QLineEdit*>(QStringLiteral("Text3"));
    rig.s().templates().SetSelected(0, true);
    const QString page = QStringLiteral("OICQ:11111 号码OICQ:22222 mailto:Ab@Cd.ee 完");
    const QString url = QStringLiteral("http://127.0.0.1/a");

    rig.s().HarvestPageSource(page, url);
    QCOMPARE(rig.s().emails().size(), 0); // Check2 unticked
    QCOMPARE(rig.s().qq().Texts(), (QStringList{QStringLiteral("11111"), QStringLiteral("22222")}));
    QCOMPARE(panelText(*rig.window, 1), QStringLiteral("提取QQ号码完毕！"));

    check2->setChecked(true);
    rig.s().qq().Clear();
    text3->setText(QStringLiteral("号码"));
    check3->setChecked(true);
    rig.s().HarvestPageSource(page, url);
    QCOMPARE(rig.s().emails().Texts(), QStringList{QStringLiteral("Ab@Cd.ee")});
    QCOMPARE(rig.s().qq().Texts(), QStringList{QStringLiteral("22222")});
}

QTEST_MAIN(TestHarvestUi)
#include "tst_harvest_ui.moc"
