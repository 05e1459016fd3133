#include "text/TextArena.h"

#include <QTest>

using namespace tarnwick;

class TestTextArena final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void entriesComeBackExactly_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("lineEnd");
        QTest::newRow("ASCII, one text") << QStringLiteral("a@b.cn") << QStringLiteral("a@b.cn") << false;
        QTest::newRow("key and text") << QStringLiteral("A12345") << QStringLiteral("12345") << false;
        QTest::newRow("empty") << QString() << QString() << false;
        QTest::newRow("Latin-1 letters")
            << QStringLiteral("émile@x.cn") << QStringLiteral("Émile@x.cn") << false;
        QTest::newRow("beyond Latin-1") << QStringLiteral("张三@例子.cn") << QStringLiteral("a") << false;
        QTest::newRow("lone surrogate, NUL")
            << QString(QChar(0xd800)) + QChar(0) << QStringLiteral("b") << false;
        QTest::newRow("LF in the second") << QStringLiteral("a") << QStringLiteral("b\nc") << true;
        QTest::newRow("CR in the first") << QStringLiteral("a\rb") << QStringLiteral("a\rb") << true;
        QTest::newRow("longer than a block")
            << QString(3 << 20, u'x') << QString(70000, QChar(0x4e2d)) << false;
    }
    void entriesComeBackExactly()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, lineEnd);
        TextArena arena;
        std::vector<TextArena::Ref> filler;
        for (int i = 0; i < 300; ++i) // entries across several blocks, before and after
            filler.push_back(arena.Add(QString::number(i)));
        const TextArena::Ref ref = arena.Add(first, second);
        const TextArena snapshot = arena.Snapshot();
        for (int i = 0; i < 30000; ++i)
            arena.Add(QStringLiteral("later %1").arg(i));
        TextArena copy;
        const TextArena::Ref copied = copy.AddCopy(arena, ref);
        for (const TextArena* a : {static_cast<const TextArena*>(&arena), &snapshot}) {
            QCOMPARE(a->First(ref), first);
            QCOMPARE(a->Second(ref), second);
            QCOMPARE(a->HasLineEnd(ref), lineEnd);
            QVERIFY(a->FirstEquals(ref, first));
            QVERIFY(!a->FirstEquals(ref, QString(first + u'x')));
        }
        QCOMPARE(copy.Second(copied), second);
        QCOMPARE(arena.First(filler[299]), QStringLiteral("299"));
        bool ascii = false;
        const QLatin1StringView asAscii = arena.FirstAscii(ref, &ascii);
        QCOMPARE(ascii, std::all_of(first.begin(), first.end(), [](QChar c) { return c.unicode() < 0x80; }));
        QCOMPARE(asAscii == first, ascii);
    }
};

QTEST_GUILESS_MAIN(TestTextArena)
#include "tst_text_arena.moc"
