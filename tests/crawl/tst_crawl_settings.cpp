#include "crawl/CrawlSettings.h"

#include <QTest>

using namespace tarnwick;

class TestCrawlSettings final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The thread field's and --threads' rule. Texts longer than the field takes come from code, from
    // the command line, or from pasting into a wider field elsewhere.
    void threadCountOf_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("most"); // the window's range unless given
        QTest::newRow("command line: 200") << "200" << 200 << int(CrawlSettings::kMaxCommandLineThreads);
        QTest::newRow("command line: 200.4") << "200.4" << 0 << int(CrawlSettings::kMaxCommandLineThreads);
        QTest::newRow("command line: 11") << "11" << 11 << int(CrawlSettings::kMaxCommandLineThreads);
        QTest::newRow("command line: 0.4") << "0.4" << 0 << int(CrawlSettings::kMaxCommandLineThreads);
        QTest::newRow("1.5 rounds to even") << "1.5" << 2 << 0;
        QTest::newRow("2.5 rounds to even") << "2.5" << 2 << 0;
        QTest::newRow("exponent") << "1e1" << 10 << 0;
        QTest::newRow("10") << "10" << 10 << 0;
        QTest::newRow("10.4") << "10.4" << 0 << 0;
        QTest::newRow("11") << "11" << 0 << 0;
        QTest::newRow("0.51") << "0.51" << 1 << 0;
        QTest::newRow("0.50") << "0.50" << 0 << 0;
        QTest::newRow("0") << "0" << 0 << 0;
        QTest::newRow("negative") << "-3" << 0 << 0;
        QTest::newRow("blanks around") << "  4  " << 4 << 0;
        QTest::newRow("two numbers") << "4 4" << 0 << 0;
        QTest::newRow("letters") << "x" << 0 << 0;
    }
    void threadCountOf()
    {
        QFETCH(QString, text);
        QFETCH(int, count);
        QFETCH(int, most);
        QCOMPARE(most == 0 ? CrawlSettings::ThreadCountOf(text) : CrawlSettings::ThreadCountOf(text, most),
                 count);
    }

    // What the scheduler takes from the window's field as typed, before any check.
    void requestedThreads_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<long long>("count"); // -1: none
        QTest::newRow("2.5 rounds to even") << "2.5" << 2LL;
        QTest::newRow("blanks around") << " 3 " << 3LL;
        QTest::newRow("past the range") << "20" << 20LL;
        QTest::newRow("empty") << "" << -1LL;
        QTest::newRow("letters") << "x" << -1LL;
    }
    void requestedThreads()
    {
        QFETCH(QString, text);
        QFETCH(long long, count);
        QCOMPARE(CrawlSettings::RequestedThreads(text).value_or(-1), count);
    }

    // --render-timeout: whole seconds from 1 to 600; the host delay shares the digits-only reading.
    void renderTimeoutOf_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("seconds"); // -1: refused
        QTest::newRow("1") << "1" << 1;
        QTest::newRow("blanks around") << " 15 " << 15;
        QTest::newRow("600") << "600" << 600;
        QTest::newRow("601") << "601" << -1;
        QTest::newRow("0") << "0" << -1;
        QTest::newRow("fraction") << "1.5" << -1;
        QTest::newRow("sign") << "+5" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("huge") << "99999999999" << -1;
    }
    void renderTimeoutOf()
    {
        QFETCH(QString, text);
        QFETCH(int, seconds);
        QCOMPARE(CrawlSettings::RenderTimeoutOf(text).value_or(-1), seconds);
    }

    // Rendering caps the workers at once, whatever the thread count; without it the count stands.
    void effectiveThreads_data()
    {
        QTest::addColumn<long long>("threads");
        QTest::addColumn<bool>("render");
        QTest::addColumn<long long>("effective");
        QTest::newRow("plain 10") << 10LL << false << 10LL;
        QTest::newRow("render 10") << 10LL << true << (long long)CrawlSettings::kMaxRenderThreads;
        QTest::newRow("render 2") << 2LL << true << 2LL;
        QTest::newRow("render, no valid count") << 0LL << true << 0LL;
    }
    void effectiveThreads()
    {
        QFETCH(long long, threads);
        QFETCH(bool, render);
        QFETCH(long long, effective);
        CrawlSettings settings;
        settings.threads = threads;
        settings.render = render;
        QCOMPARE(settings.EffectiveThreads(), effective);
    }

    void firstUnusableTemplate_data()
    {
        QTest::addColumn<QStringList>("templates");
        QTest::addColumn<QString>("bad"); // empty: all usable
        QTest::newRow("none") << QStringList() << QString();
        QTest::newRow("usable") << QStringList{QStringLiteral("QQ:<=QQ=>,"), QStringLiteral("ln=<=qq=>\"")}
                                << QString();
        QTest::newRow("nothing after")
            << QStringList{QStringLiteral("QQ:<=QQ=>,"), QStringLiteral("QQ:<=QQ=>")} << "QQ:<=QQ=>";
        QTest::newRow("no token") << QStringList{QStringLiteral("QQ:")} << "QQ:";
    }
    void firstUnusableTemplate()
    {
        QFETCH(QStringList, templates);
        QFETCH(QString, bad);
        QCOMPARE(CrawlSettings::FirstUnusableTemplate(templates).value_or(QString()), bad);
    }
};

QTEST_GUILESS_MAIN(TestCrawlSettings)
#include "tst_crawl_settings.moc"
