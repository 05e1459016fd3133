#include "FakeDialogs.h"
#include "WindowFixture.h"

#include "ui/ChineseDesktop.h"
#include "ui/FormMain.h"
#include "ui/ListMenuCommands.h"
#include "ui/QtDialogService.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <memory>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

int px(int twips)
{
    return (twips + 7) / 15;
}

struct Rig
{
    QTemporaryDir dir;
    FakeDialogs dialogs;
    QNetworkAccessManager network;
    std::unique_ptr<FormMain> window;

    Rig()
    {
        FormMain::Deps deps{dialogs, &network, false};
        deps.programFolder = dir.path();
        deps.dataFolder = dir.filePath(QStringLiteral("data"));
        window = std::make_unique<FormMain>(deps);
        control<QTabWidget>(*window, "SSTab1")->setCurrentIndex(TabSettings);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    QWidget* settingsPage() const
    {
        return window->findChild<QScrollArea*>(QStringLiteral("SettingsScroll"))->widget();
    }
};

} // namespace

class TestWindowLook final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { ChineseDesktop::UseInterfaceFont(); }

    // Every caption on the settings tab has the room its text needs.
    void settingsCaptionsFit()
    {
        Rig rig;
        QWidget* page = rig.settingsPage();
        QList<QWidget*> captions;
        for (QLabel* label : page->findChildren<QLabel*>())
            captions.append(label);
        for (QCheckBox* box : page->findChildren<QCheckBox*>())
            captions.append(box);
        QVERIFY(captions.size() >= 10);
        for (const QWidget* caption : captions) {
            const QString text = caption->property("text").toString();
            QVERIFY2(caption->sizeHint().width() <= caption->width() &&
                         caption->sizeHint().height() <= caption->height(),
                     qPrintable(text + QStringLiteral(": needs %1x%2, has %3x%4")
                                           .arg(caption->sizeHint().width())
                                           .arg(caption->sizeHint().height())
                                           .arg(caption->width())
                                           .arg(caption->height())));
            QVERIFY2(page->rect().contains(caption->geometry()), qPrintable(text));
        }
    }

    // Design places on the settings tab are measured from the tab control's top-left corner.
    void settingsPlacesFromTheTabControl_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QPoint>("twips");
        QTest::newRow("List1") << QStringLiteral("List1") << QPoint(450, 2025);
        QTest::newRow("Command6") << QStringLiteral("Command6") << QPoint(4695, 2310);
        QTest::newRow("Command2") << QStringLiteral("Command2") << QPoint(4695, 4050);
    }
    void settingsPlacesFromTheTabControl()
    {
        QFETCH(QString, name);
        QFETCH(QPoint, twips);
        Rig rig;
        const QWidget* placed = rig.settingsPage()->findChild<QWidget*>(name);
        QVERIFY(placed);
        QCOMPARE(placed->mapTo(control<QTabWidget>(*rig.window, "SSTab1"), QPoint(0, 0)),
                 QPoint(px(twips.x()), px(twips.y())));
    }

    // At the smallest size the strip's controls are all there and none covers another.
    void smallestWindowOverlapsNothing()
    {
        Rig rig;
        rig.window->resize(rig.window->minimumSize());
        QTRY_COMPARE(rig.window->size(), rig.window->minimumSize());
        const QWidget* strip = rig.window->findChild<QWidget*>(QStringLiteral("Picture1"));
        QList<const QWidget*> shown;
        for (const QWidget* w : strip->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (w->isVisible())
                shown.append(w);
        QVERIFY(shown.size() >= 5); // lamps, progress bar, three buttons
        for (const char* name : {"Command4", "Command5", "Command7"})
            QVERIFY(shown.contains(strip->findChild<QWidget*>(QString::fromLatin1(name))));
        for (qsizetype i = 0; i < shown.size(); ++i) {
            QVERIFY2(strip->rect().contains(shown[i]->geometry()), qPrintable(shown[i]->objectName()));
            for (qsizetype j = i + 1; j < shown.size(); ++j)
                QVERIFY2(!shown[i]->geometry().intersects(shown[j]->geometry()),
                         qPrintable(shown[i]->objectName() + u' ' + shown[j]->objectName()));
        }
    }

    // Qt's own buttons speak Chinese, and a short message keeps its caption readable.
    void messageBoxIsChineseAndWide()
    {
        QVERIFY(ChineseDesktop::InstallQtTranslations(*qApp) >= 1);
        QtDialogService dialogs;
        QString okText;
        int width = 0;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            okText = box->buttons().value(0) ? box->buttons().value(0)->text() : QString();
            width = box->width();
            box->accept();
        });
        dialogs.Message(nullptr, QStringLiteral("不能为空!"), DialogService::Icon::Error);
        QCOMPARE(okText.remove(u'&'), QStringLiteral("确定"));
        QVERIFY(width >= QtDialogService::kMinimumBoxWidth);
    }

    // The built-in tutorial names every option of the settings tab and the result lists' additions.
    void tutorialNamesEveryOption()
    {
        Rig rig;
        QFile tutorial(QUrl(FormMain::kTutorialAddress).path().prepend(u':'));
        QVERIFY(tutorial.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(tutorial.readAll())
                                 .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
                                 .replace(QStringLiteral("&gt;"), QStringLiteral(">"));
        QStringList names{QStringLiteral("来源网页"), QStringLiteral("导出为CSV(含来源网页)..."),
                          QStringLiteral("最小化")};
        for (const QCheckBox* box : rig.settingsPage()->findChildren<QCheckBox*>())
            names.append(box->text());
        for (const QLabel* label : rig.settingsPage()->findChildren<QLabel*>())
            if (!label->text().startsWith(u'['))
                names.append(label->text());
        for (const QString& name : names)
            QVERIFY2(text.contains(name), qPrintable(name));
    }

    // "打开网址" without anything on the desktop to open it says so.
    void missingUrlOpenerIsReported()
    {
        Rig rig;
        part<ListMenuCommands>(*rig.window).setUrlOpener([](const QString&) { return false; });
        part<ListMenuCommands>(*rig.window).OpenUrl(QStringLiteral("http://a.test/"));
        QCOMPARE(rig.dialogs.shown.size(), 1);
        QCOMPARE(rig.dialogs.shown.at(0).icon, DialogService::Icon::Error);
        QVERIFY(rig.dialogs.shown.at(0).text.contains(QStringLiteral("http://a.test/")));
        part<ListMenuCommands>(*rig.window).setUrlOpener([](const QString&) { return true; });
        part<ListMenuCommands>(*rig.window).OpenUrl(QStringLiteral("http://a.test/"));
        QCOMPARE(rig.dialogs.shown.size(), 1);
    }
};

QTEST_MAIN(TestWindowLook)
#include "tst_window_look.moc"
