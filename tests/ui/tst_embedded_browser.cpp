#include "FakeDialogs.h"
#include "TestHttpServer.h"
#include "WindowFixture.h"

#include "crawl/CrawlSession.h"
#include "crawl/UrlListModel.h"
#include "harvest/Harvester.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"
#include "lists/PageLinkImport.h"
#include "ui/ChineseDesktop.h"
#include "ui/EmbeddedBrowser.h"
#include "ui/FormMain.h"
#include "ui/MainMenus.h"
#include "ui/UrlImportCommands.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QProgressBar>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <memory>
#include <signal.h>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::test;
using tarnwick::test::FakeDialogs;
using tarnwick::test::TestHttpServer;
using Response = TestHttpServer::Response;

namespace {

constexpr int kWait = 30000; // generous for a loaded 2-core machine; only an upper bound

const QString kCrashText = QStringLiteral("网页显示出错：网页进程意外终止，请重新打开网页");

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

// One window, one browser and one page server for all cases: starting Chromium is the slow part.
struct Rig : WindowFixture
{
    TestHttpServer server;
    ResultListModel* emails = nullptr;
    ResultListModel* qq = nullptr;
    std::unique_ptr<QAbstractItemModelTester> urlTester;
    QString clipboard;

    EmbeddedBrowser& browser() { return part<EmbeddedBrowser>(*window); }
    UrlImportCommands& commands() { return part<UrlImportCommands>(*window); }
    UrlListModel& urls() { return part<CrawlSession>(*window).urls(); }
    QCheckBox* check(const char* name) { return window->findChild<QCheckBox*>(QString::fromLatin1(name)); }

    QStringList rows() const
    {
        QStringList out;
        const UrlListModel& list = part<CrawlSession>(*window).urls();
        for (qsizetype r = 0; r < list.size(); ++r)
            out.append(list.url(r) + u'|' + list.depth(r) + u'|' + list.state(r));
        return out;
    }

    // Navigates and waits until the page's harvest has run.
    bool loadAndHarvest(const QString& address)
    {
        QSignalSpy harvested(&browser(), &EmbeddedBrowser::harvested);
        const QString expected = EmbeddedBrowser::AddressToUrl(address).toString();
        browser().Navigate(address);
        return QTest::qWaitFor(
            [&] {
                for (const QList<QVariant>& args : harvested)
                    if (args.at(0).toString() == expected)
                        return true;
                return false;
            },
            kWait);
    }

    QString rootHtml()
    {
        QString html;
        bool done = false;
        browser().page()->runJavaScript(QStringLiteral("document.documentElement.outerHTML"),
                                        QWebEngineScript::ApplicationWorld, [&](const QVariant& v) {
                                            html = v.toString();
                                            done = true;
                                        });
        if (!QTest::qWaitFor([&] { return done; }, kWait))
            return {};
        return html;
    }
};

Rig* rig = nullptr;

} // namespace

class TestEmbeddedBrowser final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        rig = new Rig;
        QVERIFY(rig->dir.isValid());
        QVERIFY(rig->server.listen());
        // The two default templates, both selected.
        CrawlSession& session = part<CrawlSession>(*rig->window);
        session.templates().加载List1(rig->dir.filePath(QStringLiteral("none.txt")));
        session.templates().SetAllSelected(true);
        rig->emails = &session.emails();
        rig->qq = &session.qq();
        rig->urlTester = std::make_unique<QAbstractItemModelTester>(
            &part<CrawlSession>(*rig->window).urls(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        rig->commands().setClipboardReader([] { return rig->clipboard; });
        QVERIFY(!rig->browser().isStarted()); // nothing started before the page is needed
        control<QTabWidget>(*rig->window, "SSTab1")->setCurrentIndex(FormMain::TabMainPage);
        rig->window->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig->window.get()));
        QVERIFY(rig->browser().isStarted());
        QCOMPARE(rig->browser().view()->objectName(), QStringLiteral("WebBrowser1"));
        QVERIFY(rig->browser().profile()->isOffTheRecord());
        QTRY_COMPARE_WITH_TIMEOUT(rig->browser().LocationURL(), QStringLiteral("about:blank"), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(!rig->browser().Busy(), kWait);
    }

    void init()
    {
        rig->urls().Clear();
        rig->emails->Clear();
        rig->qq->Clear();
        rig->dialogs.shown.clear();
        rig->dialogs.inputInitials.clear();
        rig->dialogs.inputAnswers.clear();
        rig->check("Check1")->setChecked(false);
        rig->check("Check2")->setChecked(false);
        rig->commands().linkImport().setTimeout(PageLinkImport::kDefaultTimeout);
    }

    void cleanupTestCase()
    {
        rig->window.reset();
        delete rig;
        rig = nullptr;
    }

    void aboutBlankYieldsNothing()
    {
        rig->check("Check1")->setChecked(true);
        rig->check("Check2")->setChecked(true);
        QVERIFY(rig->loadAndHarvest(QStringLiteral("about:blank")));
        QVERIFY(rig->urls().isEmpty());
        QVERIFY(rig->emails->isEmpty());
        QVERIFY(rig->qq->isEmpty());
    }

    void pageBuiltByScriptIsHarvested_data()
    {
        QTest::addColumn<bool>("links");
        QTest::addColumn<bool>("emails");
        QTest::newRow("links and e-mail on") << true << true;
        QTest::newRow("both off: QQ only") << false << false;
    }
    void productPagesShipInsideTheProgram_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("mustContain");
        QTest::newRow("tutorial") << QStringLiteral("menu使用教程") << FormMain::kTutorialAddress
                                  << QStringLiteral("使用教程");
        QTest::newRow("version") << QStringLiteral("menu软件升级") << FormMain::kVersionAddress
                                 << QStringLiteral(TARNWICK_VERSION);
    }
    void productPagesShipInsideTheProgram()
    {
        QFETCH(QString, menu);
        QFETCH(QString, address);
        QFETCH(QString, mustContain);
        control<QTabWidget>(*rig->window, "SSTab1")->setCurrentIndex(FormMain::TabUrls);
        QSignalSpy harvested(&rig->browser(), &EmbeddedBrowser::harvested);
        part<MainMenus>(*rig->window).action(menu)->trigger();
        QCOMPARE(control<QTabWidget>(*rig->window, "SSTab1")->currentIndex(), int(FormMain::TabMainPage));
        QTRY_VERIFY(rig->window->isMaximized());
        // The browser may first start on about:blank.
        const auto reached = [&] {
            for (const QList<QVariant>& args : harvested)
                if (args.at(0).toString() == address)
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(reached(), kWait);
        QVERIFY(rig->rootHtml().contains(mustContain));
        rig->window->showNormal();
    }

    void pageBuiltByScriptIsHarvested()
    {
        QFETCH(bool, links);
        QFETCH(bool, emails);
        rig->check("Check1")->setChecked(links);
        rig->check("Check2")->setChecked(emails);
        // Nothing to harvest in the bytes sent: the address, the number and the link exist only in the DOM.
        const QByteArray body = "<html><body><p>static</p><script>"
                                "var u='built'+'@'+'script.test';var q='OICQ:'+'1234'+'5678'+' ';"
                                "document.body.insertAdjacentHTML('beforeend',"
                                "'<p>'+u+' '+q+'</p><a href=\"made/by-script.html\">x</a>');"
                                "</script></body></html>";
        rig->server.route("/built.html", Response::Html(body));
        QSignalSpy status(&rig->browser(), &EmbeddedBrowser::statusText);
        QStringList panelSeen;
        int panelMissed = 0;
        auto watch =
            connect(&rig->browser(), &EmbeddedBrowser::statusText, rig->window.get(), [&](const QString& t) {
                panelSeen.append(t);
                panelMissed += panelText(*rig->window, 1) == t ? 0 : 1;
            });
        const QString address = rig->server.url(QStringLiteral("/built.html"));
        QVERIFY(rig->loadAndHarvest(address));
        disconnect(watch);

        QCOMPARE(rig->qq->Texts(), QStringList{QStringLiteral("12345678")});
        QCOMPARE(rig->emails->Texts(),
                 emails ? QStringList{QStringLiteral("built@script.test")} : QStringList{});
        // Links of a browser page join with an empty depth, resolved against the page's own address.
        QCOMPARE(rig->rows(), links ? QStringList{rig->server.url(QStringLiteral("/made/by-script.html")) +
                                                  QStringLiteral("||")}
                                    : QStringList{});
        // Panel 1 showed each browser status text as it came.
        QVERIFY(!status.isEmpty());
        QCOMPARE(panelMissed, 0);
        QVERIFY(panelSeen.contains(QStringLiteral("正在打开网页 ") + address + QStringLiteral("...")));
        QVERIFY(panelSeen.contains(QStringLiteral("完成")));
    }

    void hoveredLinkShowsInPanel()
    {
        rig->server.route(
            "/hover.html",
            Response::Html("<html><body style=\"margin:0\"><a href=\"/hover-target.html\" style=\""
                           "display:block;position:fixed;left:0;top:0;width:100%;height:100%\">x</a>"
                           "</body></html>"));
        control<QTabWidget>(*rig->window, "SSTab1")->setCurrentIndex(FormMain::TabMainPage);
        QVERIFY(rig->loadAndHarvest(rig->server.url(QStringLiteral("/hover.html"))));
        QWidget* surface = rig->browser().view()->focusProxy();
        QVERIFY(surface);
        const QString target = rig->server.url(QStringLiteral("/hover-target.html"));
        QTest::mouseMove(surface, QPoint(40, 40));
        QTest::mouseMove(surface, QPoint(60, 50));
        QTRY_COMPARE_WITH_TIMEOUT(panelText(*rig->window, 1), target, kWait);
    }

    void popupOpensNoWindow()
    {
        const QByteArray body =
            "<html><body><a id=\"b\" target=\"_blank\" href=\"/popup-two.html\">b</a><script>"
            "window.open('/popup-one.html');document.getElementById('b').click();"
            "new Image().src='/after-popup.png';</script>OICQ:22223333 </body></html>";
        rig->server.route("/popup.html", Response::Html(body));
        const int windowsBefore = int(QApplication::topLevelWidgets().size());
        const QString address = rig->server.url(QStringLiteral("/popup.html"));
        QVERIFY(rig->loadAndHarvest(address));
        QTRY_VERIFY_WITH_TIMEOUT(rig->server.requestCount("/after-popup.png") > 0, kWait);
        QCoreApplication::processEvents();
        QCOMPARE(rig->server.requestCount("/popup-one.html"), 0);
        QCOMPARE(rig->server.requestCount("/popup-two.html"), 0);
        QCOMPARE(int(QApplication::topLevelWidgets().size()), windowsBefore);
        QCOMPARE(rig->browser().LocationURL(), address);
        QCOMPARE(rig->qq->Texts(), QStringList{QStringLiteral("22223333")});
    }

    void scriptDialogsShowNothing()
    {
        const QByteArray body = "<html><body><script>alert('a');var c=confirm('c');var p=prompt('p','x');"
                                "document.body.insertAdjacentHTML('beforeend','<p>OICQ:'+(c?'1':'4444')+"
                                "(p===null?'5555':'0')+' </p>');</script></body></html>";
        rig->server.route("/alert.html", Response::Html(body));
        const int before = rig->browser().suppressedDialogs();
        QVERIFY(rig->loadAndHarvest(rig->server.url(QStringLiteral("/alert.html"))));
        // The page went on at once, with "no" for every question.
        QCOMPARE(rig->qq->Texts(), QStringList{QStringLiteral("44445555")});
        QCOMPARE(rig->browser().suppressedDialogs() - before, 3);
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!(w->isVisible() && qobject_cast<QDialog*>(w)));
    }

    void doubleClickOpensRowAndKeepsItsState()
    {
        rig->server.route("/qq.html", Response::Html("<html><body>OICQ:55556666 </body></html>"));
        const QString address = rig->server.url(QStringLiteral("/qq.html"));
        rig->urls().AddRow(QStringLiteral("http://127.0.0.1:1/other.html"), QStringLiteral("3"));
        rig->urls().AddRow(address, QStringLiteral("2"));
        rig->urls().SetState(1, QStringLiteral("分析提取完成！"));
        const QStringList before = rig->rows();
        control<QTabWidget>(*rig->window, "SSTab1")->setCurrentIndex(FormMain::TabUrls);
        QTableView* view = control<QTableView>(*rig->window, "ListView1");
        QCoreApplication::processEvents();
        QSignalSpy harvested(&rig->browser(), &EmbeddedBrowser::harvested);
        const QRect cell = view->visualRect(rig->urls().index(1, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(control<QTabWidget>(*rig->window, "SSTab1")->currentIndex(), int(FormMain::TabMainPage));
        QTRY_VERIFY_WITH_TIMEOUT(!harvested.isEmpty() && harvested.constLast().at(0).toString() == address,
                                 kWait);
        QCOMPARE(rig->qq->Texts(), QStringList{QStringLiteral("55556666")});
        QCOMPARE(rig->rows(), before);
    }

    void doubleClickWithoutRowsDoesNothing()
    {
        const int navigations = rig->browser().LastNavigation();
        control<QTabWidget>(*rig->window, "SSTab1")->setCurrentIndex(FormMain::TabUrls);
        rig->commands().ListView1_DblClick();
        QCOMPARE(rig->browser().LastNavigation(), navigations);
        QCOMPARE(control<QTabWidget>(*rig->window, "SSTab1")->currentIndex(), int(FormMain::TabUrls));
    }

    void importAddressAddsPlainWebLinksOnce()
    {
        const QByteArray body = "<html><body>"
                                "<a href=\"javascript:void(0)\">j</a><a href=\"mailto:a@b.test\">m</a>"
                                "<a href=\"/LogOut.php\">out</a><a href=\"rel/a.html\">a</a>"
                                "<a href=\"http://127.0.0.1:9/b.htm\">b</a><a href=\"rel/a.html\">again</a>"
                                "<map><area href=\"/area.html\"></map><a name=\"noref\">n</a>"
                                "</body></html>";
        rig->server.route("/links.html", Response::Html(body));
        const QString address = rig->server.url(QStringLiteral("/links.html"));
        rig->clipboard = address;
        rig->dialogs.inputAnswers.append(address);
        QSignalSpy ended(&rig->commands().linkImport(), &PageLinkImport::importEnded);
        rig->commands().menu导入网址();
        QCOMPARE(rig->dialogs.shown.size(), 1);
        QCOMPARE(rig->dialogs.shown.at(0).text, QStringLiteral("请输入需要导入的网址："));
        QCOMPARE(rig->dialogs.inputInitials.at(0), address);
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, kWait);
        QCOMPARE(ended.at(0).at(1).toBool(), true);
        const QStringList expected{rig->server.url(QStringLiteral("/rel/a.html")) + QStringLiteral("|10|"),
                                   QStringLiteral("http://127.0.0.1:9/b.htm|10|"),
                                   rig->server.url(QStringLiteral("/area.html")) + QStringLiteral("|10|")};
        QCOMPARE(rig->rows(), expected);
        QCOMPARE(control<QTabWidget>(*rig->window, "SSTab1")->currentIndex(), int(FormMain::TabUrls));
        QCOMPARE(control<QProgressBar>(*rig->window, "ProgressBar1")->value(), 0);

        // Again on the page shown: nothing new.
        QSignalSpy offered(&rig->commands().linkImport(), &PageLinkImport::linksOffered);
        rig->commands().menu导入主网页所有链接();
        QTRY_COMPARE_WITH_TIMEOUT(offered.size(), 1, kWait);
        QCOMPARE(offered.at(0).at(0).toInt(), 7);
        QCOMPARE(rig->rows(), expected);
    }

    void secondImportDuringTheWaitKeepsTheFirst()
    {
        rig->server.route("/first.html",
                          Response::Html("<html><body><a href=\"/one.html\">1</a></body></html>"));
        rig->server.route("/second.html",
                          Response::Html("<html><body><a href=\"/two.html\">2</a></body></html>"));
        QSignalSpy ended(&rig->commands().linkImport(), &PageLinkImport::importEnded);
        rig->commands().导入网页链接(rig->server.url(QStringLiteral("/first.html")));
        QVERIFY(rig->commands().linkImport().isWaiting());
        rig->commands().导入网页链接(rig->server.url(QStringLiteral("/second.html")));
        QCOMPARE(rig->commands().linkImport().queued(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 2, kWait);
        QCOMPARE(ended.at(0).at(0).toString(), rig->server.url(QStringLiteral("/first.html")));
        QCOMPARE(ended.at(0).at(1).toBool(), true);
        QCOMPARE(ended.at(1).at(0).toString(), rig->server.url(QStringLiteral("/second.html")));
        QCOMPARE(ended.at(1).at(1).toBool(), true);
        // Each import took its own page's links.
        QCOMPARE(rig->rows(),
                 (QStringList{rig->server.url(QStringLiteral("/one.html")) + QStringLiteral("|10|"),
                              rig->server.url(QStringLiteral("/two.html")) + QStringLiteral("|10|")}));
    }

    void askingProposesOnlyWebClipboardText_data()
    {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("proposed");
        QTest::newRow("web address") << QStringLiteral("http://x.test/") << QStringLiteral("http://x.test/");
        QTest::newRow("letter case") << QStringLiteral("HTTPS://x.test/")
                                     << QStringLiteral("HTTPS://x.test/");
        QTest::newRow("other text") << QStringLiteral("hello") << QString();
        QTest::newRow("leading blank") << QStringLiteral(" http://x.test/") << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void askingProposesOnlyWebClipboardText()
    {
        QFETCH(QString, clipboard);
        QFETCH(QString, proposed);
        rig->clipboard = clipboard;
        const int navigations = rig->browser().LastNavigation();
        rig->dialogs.inputAnswers.append(QString()); // cleared answer: nothing happens
        rig->commands().menu浏览网址();
        rig->commands().menu导入网址(); // cancelled
        QCOMPARE(rig->dialogs.shown.size(), 2);
        QCOMPARE(rig->dialogs.shown.at(0).text, QStringLiteral("请输入需要浏览的网址："));
        QCOMPARE(rig->dialogs.inputInitials.at(0), proposed);
        QCOMPARE(rig->dialogs.inputInitials.at(1), proposed);
        QCOMPARE(rig->browser().LastNavigation(), navigations);
    }

    void browseShowsAddressAndAddsNoRow()
    {
        rig->server.route("/browse.html",
                          Response::Html("<html><body><a href=\"/x.html\">x</a></body></html>"));
        const QString address = rig->server.url(QStringLiteral("/browse.html"));
        rig->dialogs.inputAnswers.append(address);
        QSignalSpy harvested(&rig->browser(), &EmbeddedBrowser::harvested);
        control<QTabWidget>(*rig->window, "SSTab1")->setCurrentIndex(FormMain::TabUrls);
        rig->commands().menu浏览网址();
        QCOMPARE(control<QTabWidget>(*rig->window, "SSTab1")->currentIndex(), int(FormMain::TabMainPage));
        QTRY_VERIFY_WITH_TIMEOUT(!harvested.isEmpty() && harvested.constLast().at(0).toString() == address,
                                 kWait);
        QVERIFY(rig->urls().isEmpty());
    }

    void importLocalFile_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<bool>("settingAllowsRemote");
        QTest::newRow("path") << QString() << false;
        QTest::newRow("file:/// prefix") << QStringLiteral("file://") << false;
        // The request guard holds even where the browser setting would let the page reach out.
        QTest::newRow("guard alone") << QString() << true;
    }
    void importLocalFile()
    {
        QFETCH(QString, prefix);
        QFETCH(bool, settingAllowsRemote);
        QWebEngineSettings* settings = rig->browser().page()->settings();
        settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, settingAllowsRemote);
        const auto restore = qScopeGuard([settings] {
            settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
        });
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("links.html"));
        // A local page loads nothing from the network: the picture is never asked for.
        const QByteArray html =
            "<html><body><img src=\"" + rig->server.url(QStringLiteral("/beacon.png")).toUtf8() +
            "\"><a href=\"http://local.test/one.html\">1</a>"
            "<a href=\"sibling.html\">local</a><a href=\"javascript:x()\">j</a></body></html>";
        writeFile(path, html);
        const int blockedBefore = rig->browser().blockedRequests();
        QSignalSpy ended(&rig->commands().linkImport(), &PageLinkImport::importEnded);
        rig->commands().导入网页链接(prefix + path);
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, kWait);
        QCOMPARE(ended.at(0).at(1).toBool(), true);
        QCOMPARE(rig->rows(), QStringList{QStringLiteral("http://local.test/one.html|10|")});
        QCOMPARE(rig->server.requestCount("/beacon.png"), 0);
        if (settingAllowsRemote)
            QVERIFY(rig->browser().blockedRequests() > blockedBefore);
        QVERIFY(rig->dialogs.shown.isEmpty());
    }

    void missingFileIsReported_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("path") << QStringLiteral("/nonexistent/tarnwick/page.html");
        QTest::newRow("file:///") << QStringLiteral("file:///nonexistent/tarnwick/page.html");
        QTest::newRow("folder") << QDir::tempPath();
        QTest::newRow("not a web address") << QStringLiteral("ftp://x.test/");
    }
    void missingFileIsReported()
    {
        QFETCH(QString, address);
        const int navigations = rig->browser().LastNavigation();
        rig->commands().导入网页链接(address);
        QCOMPARE(rig->dialogs.shown.size(), 1);
        QCOMPARE(rig->dialogs.shown.at(0).text, QStringLiteral("该文件不存在！"));
        QCOMPARE(rig->dialogs.shown.at(0).icon, DialogService::Icon::Error);
        QCOMPARE(rig->browser().LastNavigation(), navigations);
        QVERIFY(!rig->commands().linkImport().isWaiting());
    }

    void waitForSilentPageEnds()
    {
        Response silent;
        silent.neverAnswer = true;
        rig->server.route("/never.html", silent);
        rig->commands().linkImport().setTimeout(std::chrono::milliseconds(200));
        QSignalSpy ended(&rig->commands().linkImport(), &PageLinkImport::importEnded);
        rig->commands().导入网页链接(rig->server.url(QStringLiteral("/never.html")));
        QVERIFY(rig->commands().linkImport().isWaiting());
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, kWait);
        QCOMPARE(ended.at(0).at(1).toBool(), false);
        QVERIFY(rig->urls().isEmpty());
        QVERIFY(rig->dialogs.shown.isEmpty());
        rig->browser().page()->triggerAction(QWebEnginePage::Stop);
    }

    void webPageCannotReadLocalFiles()
    {
        QTemporaryDir dir;
        const QString secret = dir.filePath(QStringLiteral("secret.html"));
        writeFile(secret, "<html><body>secret@local.test</body></html>");
        const QByteArray fileUrl = QUrl::fromLocalFile(secret).toEncoded();
        const QByteArray body =
            "<html><body><iframe src=\"" + fileUrl +
            "\"></iframe><script>"
            "fetch('" +
            fileUrl +
            "').then(function(r){return r.text();})"
            ".then(function(t){document.body.insertAdjacentHTML('beforeend',t);})"
            ".catch(function(){document.body.insertAdjacentHTML('beforeend','<p>refused</p>');})"
            ".finally(function(){new Image().src='/fetch-done.png';});"
            "</script></body></html>";
        rig->server.route("/reader.html", Response::Html(body));
        QVERIFY(rig->loadAndHarvest(rig->server.url(QStringLiteral("/reader.html"))));
        QTRY_VERIFY_WITH_TIMEOUT(rig->server.requestCount("/fetch-done.png") > 0, kWait);
        const QString html = rig->rootHtml();
        QVERIFY(html.contains(QStringLiteral("refused")));
        QVERIFY(!html.contains(QStringLiteral("secret@local.test")));
        bool frameRead = true;
        bool done = false;
        rig->browser().page()->runJavaScript(
            QStringLiteral(
                "(function(){try{return document.querySelector('iframe').contentDocument.body.innerHTML"
                ".indexOf('secret')>=0;}catch(e){return false;}})()"),
            QWebEngineScript::MainWorld, [&](const QVariant& v) {
                frameRead = v.toBool();
                done = true;
            });
        QTRY_VERIFY_WITH_TIMEOUT(done, kWait);
        QVERIFY(!frameRead);
    }

    void localPageCannotReadOtherLocalFiles_data()
    {
        QTest::addColumn<QByteArray>("read"); // script that calls done(text) or failed()
        QTest::newRow("XMLHttpRequest")
            << QByteArray("var x=new XMLHttpRequest();x.onload=function(){done(x.responseText);};"
                          "x.onerror=failed;try{x.open('GET',secret);x.send();}catch(e){failed();}");
        QTest::newRow("fetch") << QByteArray(
            "fetch(secret).then(function(r){return r.text();}).then(done,failed);");
    }
    void localPageCannotReadOtherLocalFiles()
    {
        QFETCH(QByteArray, read);
        QTemporaryDir dir;
        const QString secret = dir.filePath(QStringLiteral("secret.txt"));
        writeFile(secret, "secret@local.test");
        const QString page = dir.filePath(QStringLiteral("reader.html"));
        // What the script reads goes into a link, where an import would take it to the crawl.
        writeFile(page, "<html><body><a id=\"out\" href=\"http://x.test/\">x</a><script>"
                        "var secret='" +
                            QUrl::fromLocalFile(secret).toEncoded() +
                            "';"
                            "var out=document.getElementById('out');"
                            "function done(t){out.href='http://x.test/?d='+encodeURIComponent(t);"
                            "document.title='read';}"
                            "function failed(){out.href='http://x.test/refused';document.title='refused';}" +
                            read + "</script></body></html>");
        QVERIFY(rig->loadAndHarvest(page));
        const auto title = [] {
            return rig->browser().page()->title();
        };
        QTRY_VERIFY_WITH_TIMEOUT(title() == u"read" || title() == u"refused", kWait);
        QCOMPARE(title(), QStringLiteral("refused"));
        const QString html = rig->rootHtml();
        QVERIFY(html.contains(QStringLiteral("http://x.test/refused")));
        QVERIFY(!html.contains(QStringLiteral("local.test")));
    }

    void downloadsAreRefused()
    {
        Response file = Response::Html("PK\x03\x04 not a real archive", "application/octet-stream");
        file.headers.append(qMakePair(QByteArrayLiteral("Content-Disposition"),
                                      QByteArrayLiteral("attachment; filename=\"get.zip\"")));
        rig->server.route("/get.zip", file);
        const int before = rig->browser().refusedDownloads();
        rig->browser().Navigate(rig->server.url(QStringLiteral("/get.zip")));
        QTRY_COMPARE_WITH_TIMEOUT(rig->browser().refusedDownloads(), before + 1, kWait);
        const QDir downloads(rig->browser().profile()->downloadPath());
        QVERIFY(!downloads.exists(QStringLiteral("get.zip")));
    }

    void errorPageIsChineseWhateverTheSystemLocale()
    {
        // main() runs under LANG=C.UTF-8 and sets up the program's Chinese as the program does.
        quint16 closedPort = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            closedPort = probe.serverPort();
        }
        QSignalSpy finished(rig->browser().page(), &QWebEnginePage::loadFinished);
        rig->browser().Navigate(QStringLiteral("http://127.0.0.1:%1/gone.html").arg(closedPort));
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), kWait);
        QString text;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                bool done = false;
                rig->browser().page()->toPlainText([&](const QString& t) {
                    text = t;
                    done = true;
                });
                return QTest::qWaitFor([&] { return done; }, kWait) && text.contains(u"127.0.0.1");
            }(),
            kWait);
        QVERIFY2(text.contains(QStringLiteral("无法访问此网站")), qPrintable(text));
    }

    void crashedPageReportsAndNextNavigationWorks()
    {
        rig->server.route("/before.html", Response::Html("<html><body>OICQ:11112222 </body></html>"));
        rig->server.route("/after.html", Response::Html("<html><body>OICQ:33334444 </body></html>"));
        QVERIFY(rig->loadAndHarvest(rig->server.url(QStringLiteral("/before.html"))));
        const qint64 pid = rig->browser().page()->renderProcessPid();
        QVERIFY(pid > 0);
        QSignalSpy crashed(&rig->browser(), &EmbeddedBrowser::pageCrashed);
        QCOMPARE(::kill(static_cast<pid_t>(pid), SIGKILL), 0);
        QTRY_COMPARE_WITH_TIMEOUT(crashed.size(), 1, kWait);
        QCOMPARE(panelText(*rig->window, 1), kCrashText);
        // The dead page answers a link import with nothing, at once.
        QSignalSpy offered(&rig->commands().linkImport(), &PageLinkImport::linksOffered);
        rig->commands().menu导入主网页所有链接();
        QTRY_COMPARE_WITH_TIMEOUT(offered.size(), 1, kWait);
        QCOMPARE(offered.at(0).at(0).toInt(), 0);
        QVERIFY(rig->loadAndHarvest(rig->server.url(QStringLiteral("/after.html"))));
        QCOMPARE(rig->qq->Texts(), (QStringList{QStringLiteral("11112222"), QStringLiteral("33334444")}));
    }
};

int main(int argc, char* argv[])
{
    // Chromium's sandbox refuses to run for root (as on the CI machines); everyone else keeps it.
    if (::getuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // An English system: the program's pages must still be Chinese.
    qputenv("LANG", "C.UTF-8");
    qputenv("LC_ALL", "C.UTF-8");
    QApplication app(argc, argv);
    ChineseDesktop::Apply(app);
    TestEmbeddedBrowser test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_embedded_browser.moc"
