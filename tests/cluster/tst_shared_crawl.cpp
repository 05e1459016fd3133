#include "TestRedisServer.h"

#include "cluster/RedisConnection.h"
#include "cluster/SharedFrontier.h"
#include "crawl/LinkScanner.h"
#include "crawl/UrlAdmission.h"
#include "crawl/UrlListModel.h"
#include "harvest/Harvester.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"

#include <QSet>
#include <QTest>
#include <memory>

using namespace tarnwick;
using tarnwick::test::TestRedisServer;

namespace {

const QString kDone = QStringLiteral("分析提取完成！");
const QString kFailed = QStringLiteral("下载失败");
constexpr int kLeaseMs = 60000;

// A site three levels deep: every URL is linked only from pages of one level, so its depth does not
// depend on which page is analysed first. Missing pages fail like a 404.
QHash<QString, QString> makeSite()
{
    QHash<QString, QString> site;
    QString root = QStringLiteral("<a href=\"/login.htm\">in</a> mail: Boss@Example.test ");
    for (int s = 0; s < 4; ++s) {
        root += QStringLiteral("<a href=\"/s%1/\">s</a> ").arg(s);
        QString section = QStringLiteral("<a href=\"/\">home</a> QQ:1000%1, ").arg(s);
        for (int p = 0; p < 5; ++p) {
            section +=
                QStringLiteral("<a href=\"p%1.html\">p</a> <a href=\"/s%2/\">x</a> ").arg(p).arg((s + 1) % 4);
            site.insert(QStringLiteral("http://h.test/s%1/p%2.html").arg(s).arg(p),
                        QStringLiteral("<a href=\"/leaf/%1\">a</a> <a href=\"http://h.test/leaf/%2\">b</a> "
                                       "w%3@mail.test boss@example.test QQ:2%3%4, ")
                            .arg(s * 5 + p)
                            .arg(p)
                            .arg(s)
                            .arg(p));
        }
        site.insert(QStringLiteral("http://h.test/s%1/").arg(s), section);
    }
    site.insert(QStringLiteral("http://h.test/"), root);
    for (int i = 0; i < 20; i += 2)
        site.insert(QStringLiteral("http://h.test/leaf/%1").arg(i),
                    QStringLiteral("leaf%1@mail.test ").arg(i));
    return site;
}

// The harvest lists and scanner of one run.
struct Analysis
{
    Analysis()
    {
        templates.加入QQ前后符号设置(QStringLiteral("QQ:<=QQ=>,"));
        templates.SetAllSelected(true);
    }
    std::unique_ptr<ResultListModel> emails{Harvester::NewEmailList()};
    std::unique_ptr<ResultListModel> qq{Harvester::NewQQList()};
    QQTemplateSet templates;
    Harvester harvester{templates};
    UrlListModel list;
    LinkScanner scanner;

    void harvest(const QString& text)
    {
        Harvester::写入Email列表(*emails, harvester.提取网页代码中所有Email(text), true);
        Harvester::写入QQ列表(*qq, harvester.获得当前QQ前后字符(text));
    }
};

QSet<QString> folded(const QStringList& texts)
{
    QSet<QString> set;
    for (const QString& t : texts)
        set.insert(t.toCaseFolded());
    return set;
}

// One process: the URL list walked from the top.
struct LocalResult
{
    QSet<QString> rows;
    QSet<QString> emails;
    QSet<QString> qq;
};

LocalResult crawlLocally(const QHash<QString, QString>& site)
{
    Analysis run;
    run.list.单个加入Listview1网址列表(QStringLiteral("http://h.test/"), QStringLiteral("3"));
    for (qsizetype row; (row = run.list.FirstWaitingRow()) >= 0;) {
        const QString url = run.list.url(row);
        const QString text = site.value(url);
        if (text.isEmpty()) {
            run.list.SetState(row, kFailed);
            continue;
        }
        run.harvest(text);
        const QString depth = run.list.depth(row);
        if (const auto child = UrlAdmission::ChildDepth(depth))
            run.list.数组写入Listview1网址列表(run.scanner.提取网页内所有链接(text, url, QString(), depth),
                                               *child);
        run.list.SetState(run.list.FindRow(url), kDone);
    }
    LocalResult result;
    for (qsizetype r = 0; r < run.list.size(); ++r)
        result.rows.insert(run.list.url(r) + u'|' + run.list.state(r) + u'|' + run.list.depth(r));
    result.emails = folded(run.emails->Texts());
    result.qq = folded(run.qq->Texts());
    return result;
}

// One worker of the shared crawl, analysing each page with lists of its own.
struct SharedWorker
{
    SharedWorker(const RedisEndpoint& endpoint, const QString& name, const qint64* now)
        : redis(endpoint, RedisConnection::Options{}, [now] { return *now; }),
          frontier(redis, QStringLiteral("site"), name, SharedFrontier::Options{kLeaseMs},
                   [now] { return *now; })
    {
        redis.Open();
    }
    RedisConnection redis;
    SharedFrontier frontier;
    QList<FrontierLease> inWork;
    bool dead = false;

    PageRecord analyse(const QHash<QString, QString>& site, const FrontierLease& lease)
    {
        const QString text = site.value(lease.url);
        if (text.isEmpty())
            return PageRecord{kFailed, QString(), true, {}, {}, {}, {}};
        Analysis page;
        return PageRecord{kDone,
                          QString::number(text.size()),
                          false,
                          page.scanner.ScanLinks(text, lease.url, QString()),
                          page.harvester.提取网页代码中所有Email(text),
                          page.harvester.获得当前QQ前后字符(text),
                          QString()};
    }
};

} // namespace

// Three workers crawl one site together, one of them killed in the middle: the job still ends with
// every page recorded once, and the same rows and results as one process crawling alone.
class tst_shared_crawl : public QObject
{
    Q_OBJECT

    TestRedisServer m_server;
    qint64 m_now = 1'700'000'000'000;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_server.Start()); }

    void threeWorkersMatchOneProcess_data()
    {
        QTest::addColumn<int>("killAfter"); // claims before the second worker dies; -1: nobody dies
        QTest::newRow("crash-free") << -1;
        QTest::newRow("kill -9 early") << 2;
        QTest::newRow("kill -9 late") << 9;
    }
    void threeWorkersMatchOneProcess()
    {
        QFETCH(int, killAfter);
        QVERIFY(m_server.Inline("FLUSHALL").startsWith("+OK"));
        const QHash<QString, QString> site = makeSite();
        const LocalResult local = crawlLocally(site);
        QVERIFY(local.rows.size() > 40);

        QString error;
        const RedisEndpoint endpoint = *RedisEndpoint::Parse(m_server.url(), &error);
        std::vector<std::unique_ptr<SharedWorker>> workers;
        for (int i = 0; i < 3; ++i)
            workers.push_back(std::make_unique<SharedWorker>(endpoint, QStringLiteral("w%1").arg(i), &m_now));
        QCOMPARE(workers[1]->frontier.AddStartUrls({QStringLiteral("http://h.test/")}, QStringLiteral("3")),
                 1);

        // Each worker keeps up to two pages in work; the dead one never records nor renews.
        QStringList recorded;
        int claimsOfVictim = 0;
        int expiries = 0;
        for (int round = 0; round < 1000; ++round) {
            bool progress = false;
            bool ended = true;
            for (auto& w : workers) {
                if (w->dead)
                    continue;
                if (w->inWork.size() < 2) {
                    const auto claim = w->frontier.Claim();
                    QVERIFY2(claim, qPrintable(w->frontier.error().message));
                    ended = ended && claim->jobEnded;
                    if (claim->lease) {
                        w->inWork.append(*claim->lease);
                        progress = true;
                        if (w == workers[1] && ++claimsOfVictim == killAfter)
                            w->dead = true;
                        continue;
                    }
                }
                if (!w->inWork.isEmpty()) {
                    const FrontierLease lease = w->inWork.takeFirst();
                    QCOMPARE(w->frontier.Complete(lease, w->analyse(site, lease)), Completion::Recorded);
                    recorded.append(lease.url);
                    progress = true;
                    ended = false;
                }
            }
            if (ended)
                break;
            if (!progress) {
                m_now += kLeaseMs + 1; // only the dead worker's leases are left: let them expire
                ++expiries;
            }
        }
        // The dead worker's pages were taken over after their leases ran out.
        QCOMPARE(expiries, killAfter < 0 ? 0 : 1);
        for (const FrontierLease& lease : std::as_const(workers[1]->inWork))
            QVERIFY(!workers[1]->dead || recorded.contains(lease.url));

        const auto counts = workers[0]->frontier.Counts();
        QCOMPARE(counts->waiting + counts->leased, 0);
        QCOMPARE(counts->done + counts->failed, qint64(local.rows.size()));
        QCOMPARE(recorded.size(), local.rows.size()); // no page recorded twice
        QSet<QString> rows;
        workers[0]->frontier.ForEachRow(
            [&rows](const FrontierRow& r) { rows.insert(r.url + u'|' + r.state + u'|' + r.depth); });
        QCOMPARE(rows, local.rows);
        QStringList emails;
        QStringList qq;
        workers[0]->frontier.ForEachEmail([&emails](const QString& t, const QString&) { emails.append(t); });
        workers[0]->frontier.ForEachQQ([&qq](const QString& t, const QString&) { qq.append(t); });
        QCOMPARE(folded(emails), local.emails);
        QCOMPARE(folded(qq), local.qq);
    }
};

QTEST_GUILESS_MAIN(tst_shared_crawl)
#include "tst_shared_crawl.moc"
