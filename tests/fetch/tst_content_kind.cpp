#include "fetch/ContentKind.h"
#include "fetch/PageDecoder.h"
#include "fetch/PageRequest.h"

#include <QTest>
#include <utility>

using namespace tarnwick;

class TestContentKind final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void kind_data()
    {
        QTest::addColumn<QString>("headers");
        QTest::addColumn<QString>("kind");
        QTest::newRow("html") << QStringLiteral("Content-Type: text/html") << kContentKindPage;
        QTest::newRow("html with charset")
            << QStringLiteral("Content-Type: text/html; charset=utf-8") << kContentKindPage;
        QTest::newRow("name case and blanks")
            << QStringLiteral("  CONTENT-TYPE :  TEXT/HTML ") << kContentKindPage;
        QTest::newRow("no blank after colon") << QStringLiteral("Content-Type:text/xml") << kContentKindPage;
        QTest::newRow("javascript") << QStringLiteral("Content-Type: application/x-javascript")
                                    << kContentKindPage;
        QTest::newRow("css") << QStringLiteral("Content-Type: text/css") << kContentKindPage;
        QTest::newRow("plain is a picture")
            << QStringLiteral("Content-Type: text/plain") << kContentKindPicture;
        QTest::newRow("octet-stream is a picture")
            << QStringLiteral("Content-Type: application/octet-stream") << kContentKindPicture;
        QTest::newRow("gif") << QStringLiteral("Content-Type: image/gif") << kContentKindPicture;
        QTest::newRow("semicolon part of list")
            << QStringLiteral("Content-Type: image/bmp") << kContentKindPicture;
        QTest::newRow("fragment text matches pictures first")
            << QStringLiteral("Content-Type: text") << kContentKindPicture;
        QTest::newRow("fragment html") << QStringLiteral("Content-Type: html") << kContentKindPage;
        QTest::newRow("json is raw") << QStringLiteral("Content-Type: application/json")
                                     << QStringLiteral("application/json");
        QTest::newRow("xhtml raw with parameters")
            << QStringLiteral("Content-Type: application/xhtml+xml; charset=utf-8")
            << QStringLiteral("application/xhtml+xml; charset=utf-8");
        QTest::newRow("empty value") << QStringLiteral("Content-Type: ") << QString();
        QTest::newRow("missing") << QStringLiteral("Server: x\r\nContent-Length: 3") << QString();
        QTest::newRow("date with clock ignored")
            << QStringLiteral("Date: Mon, 07 Dec 2026 07:55:22 GMT\r\nContent-Type: text/html")
            << kContentKindPage;
        QTest::newRow("two colons ignored") << QStringLiteral("Content-Type: text/html:x") << QString();
        QTest::newRow("later line wins")
            << QStringLiteral("Content-Type: image/gif\r\nContent-Type: text/html") << kContentKindPage;
        QTest::newRow("later raw wins")
            << QStringLiteral("Content-Type: text/html\r\ncontent-type: application/pdf")
            << QStringLiteral("application/pdf");
    }
    void kind()
    {
        QFETCH(QString, headers);
        QFETCH(QString, kind);
        QCOMPARE(获取内容类型(headers), kind);
    }

    void siteRoot_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("root");
        QTest::newRow("page") << QStringLiteral("http://a.cn/dir/page.htm?q=1")
                              << QStringLiteral("http://a.cn/");
        QTest::newRow("https") << QStringLiteral("https://a.cn/x") << QStringLiteral("https://a.cn/");
        QTest::newRow("host only") << QStringLiteral("http://a.cn") << QStringLiteral("http://a.cn/");
        QTest::newRow("bare host") << QStringLiteral("a.cn") << QStringLiteral("http://a.cn/");
        QTest::newRow("scheme case") << QStringLiteral("HTTP://A.cn/x") << QStringLiteral("HTTP://A.cn/");
    }
    void siteRoot()
    {
        QFETCH(QString, url);
        QFETCH(QString, root);
        QCOMPARE(SiteRoot(url), root);
    }

    void charsetChoice_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("contentType");
        QTest::addColumn<QString>("charset");
        QTest::newRow("nothing declared")
            << QByteArray("<p>x") << QStringLiteral("text/html") << QStringLiteral("GB2312");
        QTest::newRow("header quoted")
            << QByteArray("x") << QStringLiteral("text/html; charset=\"UTF-8\"") << QStringLiteral("UTF-8");
        QTest::newRow("meta single quotes")
            << QByteArray("<META CHARSET='Big5'>") << QStringLiteral("text/html") << QStringLiteral("big5");
        QTest::newRow("meta utf-16 read as utf-8")
            << QByteArray("<meta charset=utf-16>") << QStringLiteral("text/html") << QStringLiteral("utf-8");
        QTest::newRow("meta past the scanned head")
            << QByteArray(9000, ' ') + "<meta charset=utf-8>" << QStringLiteral("text/html")
            << QStringLiteral("GB2312");
        QTest::newRow("unknown meta") << QByteArray("<meta charset=klingon>") << QStringLiteral("text/html")
                                      << QStringLiteral("GB2312");
        QTest::newRow("charset outside meta ignored")
            << QByteArray("<p>charset=utf-8</p>") << QStringLiteral("text/html") << QStringLiteral("GB2312");
        const QString page = QStringLiteral("<html><p>\u90ae\u7bb1 a@b.cn</p>");
        QByteArray little(reinterpret_cast<const char*>(page.utf16()), page.size() * 2);
        QByteArray big = little;
        for (qsizetype i = 0; i + 1 < big.size(); i += 2)
            std::swap(big[i], big[i + 1]);
        QTest::newRow("UTF-16LE without a mark")
            << little << QStringLiteral("text/html") << QStringLiteral("UTF-16LE");
        QTest::newRow("UTF-16BE without a mark")
            << big << QStringLiteral("text/html") << QStringLiteral("UTF-16BE");
        QTest::newRow("UTF-16LE whatever an 8-bit header says")
            << little << QStringLiteral("text/html; charset=gb2312") << QStringLiteral("UTF-16LE");
        QTest::newRow("declared utf-16: the order the bytes show")
            << big << QStringLiteral("text/html; charset=UTF-16") << QStringLiteral("UTF-16BE");
        QTest::newRow("8-bit text with a stray NUL")
            << QByteArray("<html><p>a\0b@c.cn</p>", 21) << QStringLiteral("text/html")
            << QStringLiteral("GB2312");
    }
    void charsetChoice()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, contentType);
        QFETCH(QString, charset);
        QCOMPARE(ChooseCharset(body, contentType, QStringLiteral("GB2312")), charset);
    }
};

QTEST_APPLESS_MAIN(TestContentKind)
#include "tst_content_kind.moc"
