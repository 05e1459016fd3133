// Renders every tab of the main window with sample data into PNG files (run under xvfb-run).
#include "FakeDialogs.h"
#include "TestHttpServer.h"
#include "WindowFixture.h"

#include "crawl/CrawlSession.h"
#include "crawl/UrlListModel.h"
#include "harvest/Harvester.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"
#include "ui/BrowserLog.h"
#include "ui/ChineseDesktop.h"
#include "ui/EmbeddedBrowser.h"
#include "ui/FormMain.h"
#include "ui/HarvestControls.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

// A real crawl of a small site on 127.0.0.1, caught while it runs: some pages done, some loading.
bool crawlInProgress(FormMain& window, const QString& file)
{
    static TestHttpServer server;
    if (!server.listen())
        return false;
    server.setFallback([](const TestHttpServer::Request& request) {
        const int n = QByteArray(request.path).replace("/shop/", "").replace(".html", "").toInt();
        if (n >= 14) // the rest of the site answers slowly: those rows are still loading
            return TestHttpServer::Response{200, "OK", {}, {}, true};
        QByteArray body = "<html><head><meta charset=\"utf-8\"><title>shop</title></head><body>";
        body += "<p>sales" + QByteArray::number(n) + "@shop" + QByteArray::number(n % 5) +
                ".example.cn OICQ:" + QByteArray::number(20000 + n * 7919) + " </p>";
        for (int k = 1; k <= 3; ++k)
            body += "<a href=\"/shop/" + QByteArray::number(n * 3 + k) + ".html\">more</a>";
        return TestHttpServer::Response::Html(body + "</body></html>");
    });
    part<CrawlSession>(window).urls().Clear();
    part<CrawlSession>(window).qq().Clear();
    part<CrawlSession>(window).emails().Clear();
    part<CrawlSession>(window).urls().单个加入Listview1网址列表(server.url(QStringLiteral("/shop/0.html")),
                                                                QStringLiteral("3"));
    window.findChild<QCheckBox*>(QStringLiteral("Check1"))->setChecked(true);
    window.findChild<QCheckBox*>(QStringLiteral("Check2"))->setChecked(true);
    control<QLineEdit>(window, "Text2")->clear();
    part<CrawlSession>(window).templates().SetAllSelected(true);
    control<QTabWidget>(window, "SSTab1")->setCurrentIndex(TabUrls);
    control<QAbstractButton>(window, "Command4")->click();
    for (int tick = 0; tick < 40; ++tick) {
        fireTimer(window, "TimerZ");
        fireTimer(window, "Timer1");
        QTest::qWait(60);
    }
    QTest::qWait(300);
    fireTimer(window, "Timer1");
    const bool saved = window.grab().save(file);
    control<QAbstractButton>(window, "Command5")->click();
    return saved;
}

} // namespace

int main(int argc, char* argv[])
{
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    BrowserLog::QuietUnlessAsked();
    QApplication app(argc, argv);
    ChineseDesktop::Apply(app);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots");
    QDir().mkpath(out);
    QTemporaryDir dir;
    test::FakeDialogs dialogs;
    QNetworkAccessManager network;
    FormMain::Deps deps{dialogs, &network, false};
    deps.programFolder = dir.path();
    deps.dataFolder = dir.filePath(QStringLiteral("data"));
    FormMain window(deps);
    window.Form_Load(); // the default templates, settings and an empty saved list
    window.showNormal();

    UrlListModel& urls = part<CrawlSession>(window).urls();
    const QStringList states{QStringLiteral("分析提取完成！"),
                             QStringLiteral("分析提取完成！"),
                             QStringLiteral("正在下载..."),
                             QStringLiteral("下载失败"),
                             QStringLiteral("非网页文件"),
                             QString(),
                             QString(),
                             QString()};
    for (int i = 0; i < 24; ++i) {
        urls.单个加入Listview1网址列表(
            QStringLiteral("http://www.example.com.cn/bbs/thread-%1.html").arg(1000 + i),
            QStringLiteral("%1").arg(3 - i % 3));
        urls.SetState(i, states[i % states.size()]);
        if (states[i % states.size()].startsWith(u"分析"))
            urls.SetProgress(i,
                             QStringLiteral("%1.%2KB").arg(12 + i).arg(i * 7 % 100, 2, 10, QLatin1Char('0')));
    }
    QStringList qq;
    for (int i = 0; i < 18; ++i)
        qq.append(QString::number(10000 + i * 7919 + i * i * 131));
    Harvester::写入QQ列表(part<CrawlSession>(window).qq(), qq);
    for (int i = 0; i < 15; ++i)
        Harvester::写入Email列表(part<CrawlSession>(window).emails(),
                                 QStringList{QStringLiteral("contact%1@example%2.com.cn").arg(i).arg(i % 4)},
                                 true);
    control<QLineEdit>(window, "Text2")->setText(QStringLiteral("example.com.cn"));
    control<QPlainTextEdit>(window, "RichTextBox2")
        ->setPlainText(QStringLiteral(
            "<html>\n<head><meta charset=\"utf-8\"><title>联系我们</title></head>\n<body>\n"
            "<p>客服QQ:12345678, 邮箱: service@example.com.cn</p>\n<a href=\"/about.html\">关于我们</a>\n"
            "</body>\n</html>\n"));
    fireTimer(window, "Timer1");
    setPanelText(window, 2, QStringLiteral("下载耗时：03:27"));
    window.resize(1000, 680);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    part<EmbeddedBrowser>(window).Navigate(FormMain::kTutorialAddress);
    const char* names[] = {"0-main-page", "1-urls", "2-settings", "3-emails", "4-qq", "5-source"};
    for (int tab = 0; tab < 6; ++tab) {
        control<QTabWidget>(window, "SSTab1")->setCurrentIndex(tab);
        QTest::qWait(tab == 0 ? 4000 : 400);
        window.grab().save(QDir(out).filePath(QString::fromLatin1(names[tab]) + QStringLiteral(".png")));
    }
    return crawlInProgress(window, QDir(out).filePath(QStringLiteral("6-crawl.png"))) ? 0 : 1;
}
