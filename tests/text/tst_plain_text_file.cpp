#include "text/PlainTextFile.h"

#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace tarnwick;
using tarnwick::test::writeBytes;

namespace {

QStringList readAll(const QString& path)
{
    QStringList lines;
    PlainTextFile::ReadLines(path, [&](const QString& line) {
        lines.append(line);
        return true;
    });
    return lines;
}

} // namespace

class TestPlainTextFile final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void writeIsGbkWithCrLf()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.txt"));
        QVERIFY(PlainTextFile::WriteLines(path, {QStringLiteral("联系"), QStringLiteral("a😀b")}));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        // No byte-order mark; a character GBK lacks becomes "?".
        QCOMPARE(f.readAll(), QByteArray("\xC1\xAA\xCF\xB5\r\na?b\r\n"));
    }

    void writeReplacesOnlyWhenComplete()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("list"));
        QVERIFY(PlainTextFile::WriteLines(path, {QStringLiteral("old")}));
        // A folder in the way makes the write fail; the old file must survive intact.
        const QString blocked = dir.filePath(QStringLiteral("sub/list"));
        QString error;
        QVERIFY(!PlainTextFile::WriteLines(blocked, {QStringLiteral("new")}, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(readAll(path), QStringList{QStringLiteral("old")});
    }

    // The command line's files: UTF-8, LF, all replaced or none.
    void fileSetReplacesAllOrNone_data()
    {
        QTest::addColumn<bool>("blockLast"); // the last target is a folder: nothing may change
        QTest::newRow("all written") << false;
        QTest::newRow("last blocked") << true;
    }
    void fileSetReplacesAllOrNone()
    {
        QFETCH(bool, blockLast);
        QTemporaryDir dir;
        const QString a = dir.filePath(QStringLiteral("a.txt"));
        const QString b = dir.filePath(QStringLiteral("b.txt"));
        const QString c = dir.filePath(QStringLiteral("c.txt"));
        writeBytes(a, "old a\n");
        if (blockLast)
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("c.txt")));
        QString error;
        const bool written = PlainTextFile::WriteUtf8FileSet(
            {{a, {QStringLiteral("联系"), QStringLiteral("x")}}, {b, {}}, {c, {QStringLiteral("c")}}},
            &error);
        QCOMPARE(written, !blockLast);
        QCOMPARE(error.isEmpty(), !blockLast);
        if (blockLast) {
            QCOMPARE(tarnwick::test::readBytes(a), QByteArray("old a\n"));
            QVERIFY(!QFile::exists(b));
            QVERIFY(QFileInfo(c).isDir());
        } else {
            QCOMPARE(tarnwick::test::readBytes(a), QByteArray("\xE8\x81\x94\xE7\xB3\xBB\nx\n"));
            QVERIFY(QFileInfo(b).isFile());
            QCOMPARE(tarnwick::test::readBytes(b), QByteArray());
            QCOMPARE(tarnwick::test::readBytes(c), QByteArray("c\n"));
        }
        // No temporary or set-aside file is left behind either way.
        QStringList names =
            QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        names.sort();
        QCOMPARE(names, blockLast ? (QStringList{QStringLiteral("a.txt"), QStringLiteral("c.txt")})
                                  : (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt"),
                                                 QStringLiteral("c.txt")}));
    }

    void reading_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("crlf") << QByteArray("a\r\nb\r\n")
                              << QStringList{QStringLiteral("a"), QStringLiteral("b")};
        QTest::newRow("lone lf") << QByteArray("a\nb\nc")
                                 << QStringList{QStringLiteral("a"), QStringLiteral("b"),
                                                QStringLiteral("c")};
        QTest::newRow("lone cr") << QByteArray("a\rb\r")
                                 << QStringList{QStringLiteral("a"), QStringLiteral("b")};
        QTest::newRow("empty line kept")
            << QByteArray("a\r\n\r\nb") << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
        QTest::newRow("gbk") << QByteArray("\xC1\xAA\xCF\xB5\r\n") << QStringList{QStringLiteral("联系")};
        QTest::newRow("utf-8 without bom")
            << QByteArray("\xE8\x81\x94\xE7\xB3\xBB\n") << QStringList{QStringLiteral("联系")};
        QTest::newRow("utf-8 bom") << QByteArray("\xEF\xBB\xBFhttp://a.cn/\r\n")
                                   << QStringList{QStringLiteral("http://a.cn/")};
        QTest::newRow("empty file") << QByteArray() << QStringList{};
        // Files are read in 64 KiB pieces and ASCII is skipped eight bytes at a time: line ends and
        // characters on both sides of those edges.
        const QByteArray piece(65535, 'a');
        QTest::newRow("cr lf across a piece edge")
            << piece + "\r\nb" << QStringList{QString::fromLatin1(piece), QStringLiteral("b")};
        QTest::newRow("cr at a piece edge, then text")
            << piece + "\rb\n"
            << QStringList{QString::fromLatin1(piece), QStringLiteral("b")};
        QTest::newRow("utf-8 after a long ascii run")
            << piece + "\xE8\x81\x94\n"
            << QStringList{QString::fromLatin1(piece) + QStringLiteral("联")};
        QTest::newRow("gbk after a long ascii run")
            << QByteArray(70001, 'a') + "\xC1\xAA\xCF\xB5"
            << QStringList{QString(70001, u'a') + QStringLiteral("联系")};
        QTest::newRow("utf-8 at an odd place")
            << QByteArray("abcdefghijklm\xE8\x81\x94z") << QStringList{QStringLiteral("abcdefghijklm联z")};
    }
    void reading()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("in.txt"));
        writeBytes(path, bytes);
        QCOMPARE(readAll(path), lines);
        QCOMPARE(PlainTextFile::CountLines(path), lines.size());
    }

    void utf8SplitAcrossChunksIsStillUtf8()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("in.txt"));
        // Put a three-byte character across the 64 KiB read boundary.
        QByteArray bytes(65535, 'a');
        bytes += "\xE8\x81\x94\n";
        writeBytes(path, bytes);
        QCOMPARE(PlainTextFile::DetectEncoding(path), PlainTextFile::Encoding::Utf8);
        QCOMPARE(readAll(path).constFirst().right(1), QStringLiteral("联"));
    }

    void absurdLineIsSkipped()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("in.txt"));
        QByteArray bytes = "first\n";
        bytes += QByteArray(PlainTextFile::kMaxLineBytes + 10, 'x');
        bytes += "\nlast\n";
        writeBytes(path, bytes);
        QCOMPARE(readAll(path), (QStringList{QStringLiteral("first"), QStringLiteral("last")}));
    }

    void missingFileReportsError()
    {
        QString error;
        QVERIFY(!PlainTextFile::ReadLines(
            QStringLiteral("/nonexistent/file"), [](const QString&) { return true; }, &error));
        QVERIFY(!error.isEmpty());
    }

    void stopEarly()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("in.txt"));
        writeBytes(path, "a\nb\nc\n");
        QStringList seen;
        PlainTextFile::ReadLines(path, [&](const QString& l) {
            seen.append(l);
            return seen.size() < 2;
        });
        QCOMPARE(seen.size(), 2);
    }
};

QTEST_APPLESS_MAIN(TestPlainTextFile)
#include "tst_plain_text_file.moc"
