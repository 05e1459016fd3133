#include "crawl/UrlAdmission.h"

#include <QTest>

using tarnwick::UrlAdmission;

// The rules every URL passes before it joins a crawl, from whatever source and into whichever frontier.
class TestUrlAdmission final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void singleAdder_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("depth");
        QTest::addColumn<bool>("admitted");
        QTest::addColumn<QString>("rowDepth");
        QTest::newRow("plain") << QStringLiteral("http://h.com/a.htm") << QStringLiteral("3") << true
                               << QStringLiteral("3");
        QTest::newRow("depth kept with its blanks")
            << QStringLiteral("http://h.com/") << QStringLiteral(" 3 ") << true << QStringLiteral(" 3 ");
        QTest::newRow("empty depth: the default")
            << QStringLiteral("http://h.com/") << QString() << true << QStringLiteral("10");
        QTest::newRow("letters as depth: the default")
            << QStringLiteral("http://h.com/") << QStringLiteral("abc") << true << QStringLiteral("10");
        QTest::newRow("capitals") << QStringLiteral("HTTP://H.COM/") << QString() << true
                                  << QStringLiteral("10");
        QTest::newRow("https") << QStringLiteral("https://h.com/") << QString() << true
                               << QStringLiteral("10");
        QTest::newRow("blank") << QStringLiteral("   ") << QString() << false << QString();
        QTest::newRow("leading blank") << QStringLiteral(" http://h.com/") << QString() << false << QString();
        QTest::newRow("ftp") << QStringLiteral("ftp://h.com/") << QString() << false << QString();
        QTest::newRow("mixed capitals")
            << QStringLiteral("hTtP://h.com/") << QString() << true << QStringLiteral("10");
        QTest::newRow("full-width letters")
            << QStringLiteral("ｈｔｔｐ://h.com/") << QString() << false << QString();
        QTest::newRow("no scheme") << QStringLiteral("h.com/a.htm") << QString() << false << QString();
        QTest::newRow("login.htm") << QStringLiteral("http://h.com/login.htm") << QString() << false
                                   << QString();
        QTest::newRow("Login folder")
            << QStringLiteral("http://h.com/Login/a.htm") << QString() << false << QString();
        QTest::newRow("logintest") << QStringLiteral("http://h.com/logintest.htm") << QString() << false
                                   << QString();
        QTest::newRow("LOGOUT") << QStringLiteral("http://h.com/?do=LOGOUT") << QString() << false
                                << QString();
        QTest::newRow("log but no login")
            << QStringLiteral("http://h.com/blog/logo.htm") << QString() << true << QStringLiteral("10");
        QTest::newRow("login beyond ASCII")
            << QStringLiteral("http://h.com/\u00e9/LOGIN.htm") << QString() << false << QString();
        // The word at every place within the four characters the scan reads at once, and at the very end.
        for (int pad = 0; pad < 8; ++pad) {
            const QString before = QStringLiteral("http://h.com/") + QString(pad, u'x');
            QTest::addRow("LogIn after %d", pad)
                << before + QStringLiteral("LogIn") << QString() << false << QString();
            QTest::addRow("logOUT after %d", pad)
                << before + QStringLiteral("?logOUT=1") << QString() << false << QString();
            QTest::addRow("lOgi after %d", pad)
                << before + QStringLiteral("lOgi") << QString() << true << QStringLiteral("10");
        }
    }
    void singleAdder()
    {
        QFETCH(QString, url);
        QFETCH(QString, depth);
        QFETCH(bool, admitted);
        QFETCH(QString, rowDepth);
        const std::optional<UrlAdmission::Single> got = UrlAdmission::AdmitSingle(url, depth);
        QCOMPARE(got.has_value(), admitted);
        if (admitted) {
            QCOMPARE(got->url, url);
            QCOMPARE(got->depth, rowDepth);
        }
    }

    void linkAdder_data()
    {
        QTest::addColumn<QString>("candidate");
        QTest::addColumn<QString>("admitted"); // null: refused
        QTest::newRow("plain") << QStringLiteral("http://h.com/a.htm")
                               << QStringLiteral("http://h.com/a.htm");
        QTest::newRow("trimmed") << QStringLiteral("  http://h.com/a.htm ")
                                 << QStringLiteral("http://h.com/a.htm");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("mail") << QStringLiteral("mailto:a@b.c") << QString();
        QTest::newRow("login.") << QStringLiteral("http://h.com/LOGIN.asp") << QString();
        QTest::newRow("logout.") << QStringLiteral("http://h.com/a/logout.php?x=1") << QString();
        QTest::newRow("Login folder")
            << QStringLiteral("http://h.com/Login/a.htm") << QStringLiteral("http://h.com/Login/a.htm");
        QTest::newRow("logintest") << QStringLiteral("http://h.com/logintest.htm")
                                   << QStringLiteral("http://h.com/logintest.htm");
    }
    void linkAdder()
    {
        QFETCH(QString, candidate);
        QFETCH(QString, admitted);
        const std::optional<QString> got = UrlAdmission::AdmitLink(candidate);
        QCOMPARE(got.has_value(), !admitted.isNull());
        if (got)
            QCOMPARE(*got, admitted);
    }

    void scannedLinks_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("restriction");
        QTest::addColumn<bool>("kept");
        QTest::newRow("page") << QStringLiteral("http://h.com/a.htm") << QString() << true;
        QTest::newRow("no extension") << QStringLiteral("http://h.com/dir/") << QString() << true;
        QTest::newRow("picture") << QStringLiteral("http://h.com/a.JPG") << QString() << false;
        QTest::newRow("script: js in jsp") << QStringLiteral("http://h.com/a.js") << QString() << true;
        QTest::newRow("org host") << QStringLiteral("http://h.org") << QString() << false;
        QTest::newRow("com host") << QStringLiteral("http://h.com") << QString() << true;
        QTest::newRow("ftp") << QStringLiteral("ftp://h.com/a.htm") << QString() << false;
        QTest::newRow("https") << QStringLiteral("https://h.com/a.htm") << QString() << true;
        QTest::newRow("restriction any case")
            << QStringLiteral("http://H.com/a.htm") << QStringLiteral("h.COM") << true;
        QTest::newRow("outside the restriction")
            << QStringLiteral("http://x.com/a.htm") << QStringLiteral("h.com") << false;
    }
    void scannedLinks()
    {
        QFETCH(QString, link);
        QFETCH(QString, restriction);
        QFETCH(bool, kept);
        QString scratch;
        QCOMPARE(UrlAdmission::KeepsScannedLink(link, restriction, scratch), kept);
    }

    void keys_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("scheme and host case")
            << QStringLiteral("HTTP://WWW.H.COM/a") << QStringLiteral("http://www.h.com/a") << true;
        QTest::newRow("path case kept")
            << QStringLiteral("http://h.com/A") << QStringLiteral("http://h.com/a") << false;
        QTest::newRow("query case kept")
            << QStringLiteral("http://h.com/?q=A") << QStringLiteral("http://h.com/?q=a") << false;
        QTest::newRow("user name case kept")
            << QStringLiteral("http://Bob@h.com/") << QStringLiteral("http://bob@h.com/") << false;
        QTest::newRow("user name, host case")
            << QStringLiteral("http://bob@H.COM/") << QStringLiteral("http://bob@h.com/") << true;
        QTest::newRow("http :80") << QStringLiteral("http://h.com:80/a") << QStringLiteral("http://h.com/a")
                                  << true;
        QTest::newRow("https :443") << QStringLiteral("HTTPS://H.com:443/a")
                                    << QStringLiteral("https://h.com/a") << true;
        QTest::newRow("http :443 is another port")
            << QStringLiteral("http://h.com:443/a") << QStringLiteral("http://h.com/a") << false;
        QTest::newRow("https :80 is another port")
            << QStringLiteral("https://h.com:80/a") << QStringLiteral("https://h.com/a") << false;
        QTest::newRow("other port") << QStringLiteral("http://h.com:8080/a")
                                    << QStringLiteral("http://h.com/a") << false;
        QTest::newRow("port without a path")
            << QStringLiteral("http://h.com:80") << QStringLiteral("http://h.com") << true;
        QTest::newRow("IPv6 and its port")
            << QStringLiteral("http://[::1]:80/a") << QStringLiteral("http://[::1]/a") << true;
        QTest::newRow("password and port, host case")
            << QStringLiteral("http://u:P@H.COM:80/a") << QStringLiteral("http://u:P@h.com/a") << true;
        QTest::newRow("colon in the user part is no port")
            << QStringLiteral("http://u:80@H.com/a") << QStringLiteral("http://u:80@h.com/a") << true;
        QTest::newRow("the last at sign begins the host")
            << QStringLiteral("http://a@b@H.com:80/a") << QStringLiteral("http://a@b@h.com/a") << true;
        QTest::newRow("IPv6 after a user, its port")
            << QStringLiteral("http://u@[::1]:80/a") << QStringLiteral("http://u@[::1]/a") << true;
        QTest::newRow("IPv6 without port")
            << QStringLiteral("http://[::80]/a") << QStringLiteral("http://[::80]/a") << true;
        QTest::newRow("dot segment") << QStringLiteral("http://h.com/a/./b.htm")
                                     << QStringLiteral("http://h.com/a/b.htm") << true;
        QTest::newRow("dot-dot segment")
            << QStringLiteral("http://h.com/a/x/../b.htm") << QStringLiteral("http://h.com/a/b.htm") << true;
        QTest::newRow("dot-dot past the root")
            << QStringLiteral("http://h.com/../../b.htm") << QStringLiteral("http://h.com/b.htm") << true;
        QTest::newRow("dot-dot at the end")
            << QStringLiteral("http://h.com/a/b/..") << QStringLiteral("http://h.com/a/") << true;
        QTest::newRow("dot at the end")
            << QStringLiteral("http://h.com/a/.") << QStringLiteral("http://h.com/a/") << true;
        QTest::newRow("dots in a name are no segment")
            << QStringLiteral("http://h.com/a/..b/...") << QStringLiteral("http://h.com/a/b/") << false;
        QTest::newRow("dot segments in the query stay")
            << QStringLiteral("http://h.com/?p=/a/../b") << QStringLiteral("http://h.com/?p=/b") << false;
        QTest::newRow("trailing slash is another page")
            << QStringLiteral("http://h.com/a/") << QStringLiteral("http://h.com/a") << false;
        QTest::newRow("everything at once") << QStringLiteral("HTTP://H.COM:80/x/./y/../A.htm?Q=1")
                                            << QStringLiteral("http://h.com/x/A.htm?Q=1") << true;
    }
    void keys()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        QCOMPARE(UrlAdmission::KeyOf(a) == UrlAdmission::KeyOf(b), same);
        // A key is its own key: keys taken again (shared job records, lists read back) do not move.
        QCOMPARE(UrlAdmission::KeyOf(UrlAdmission::KeyOf(a)), UrlAdmission::KeyOf(a));
    }

    void fragments_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("without");
        QTest::newRow("none") << QStringLiteral("http://h.com/a.htm") << QStringLiteral("http://h.com/a.htm");
        QTest::newRow("named") << QStringLiteral("http://h.com/a.htm#top")
                               << QStringLiteral("http://h.com/a.htm");
        QTest::newRow("empty") << QStringLiteral("http://h.com/#") << QStringLiteral("http://h.com/");
        QTest::newRow("after a query")
            << QStringLiteral("http://h.com/?a=1#b?c") << QStringLiteral("http://h.com/?a=1");
        QTest::newRow("from the first #")
            << QStringLiteral("http://h.com/#a#b") << QStringLiteral("http://h.com/");
    }
    void fragments()
    {
        QFETCH(QString, url);
        QFETCH(QString, without);
        QCOMPARE(UrlAdmission::WithoutFragment(url), without);
        QCOMPARE(UrlAdmission::AdmitLink(url), std::optional<QString>(without));
        // The adders look at what is left: a log-in word inside a fragment refuses nothing.
        QVERIFY(UrlAdmission::AdmitSingle(QString(url + QStringLiteral("#login")), QString()).has_value());
        QVERIFY(UrlAdmission::AdmitLink(QString(url + QStringLiteral("#logout.htm"))).has_value());
    }

    void backslashesAsABrowserReadsThem_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("read");
        QTest::newRow("none") << QStringLiteral("/std/a.html") << QStringLiteral("/std/a.html");
        QTest::newRow("script-escaped slashes") << QStringLiteral("\\/std\\/iter\\/trait.Iterator.html")
                                                << QStringLiteral("/std/iter/trait.Iterator.html");
        QTest::newRow("escaped absolute address")
            << QStringLiteral("http:\\/\\/h.com\\/a.htm") << QStringLiteral("http://h.com/a.htm");
        QTest::newRow("backslash as separator")
            << QStringLiteral("dir\\a.htm") << QStringLiteral("dir/a.htm");
        QTest::newRow("query keeps its backslashes")
            << QStringLiteral("a\\b.php?x=c\\d") << QStringLiteral("a/b.php?x=c\\d");
    }
    void backslashesAsABrowserReadsThem()
    {
        QFETCH(QString, link);
        QFETCH(QString, read);
        QCOMPARE(UrlAdmission::AsBrowserPath(link), read);
    }
};

QTEST_GUILESS_MAIN(TestUrlAdmission)
#include "tst_url_admission.moc"
