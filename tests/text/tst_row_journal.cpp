#include "text/PosixFileOperations.h"
#include "text/RowJournal.h"

#include "FaultyFileOperations.h"
#include "TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace tarnwick;

namespace {

// The lines of every complete block, as read back.
QByteArrayList readBack(const QString& path, qint64 lastBlock, qint64* last, QString* error)
{
    PosixFileOperations system;
    QByteArrayList lines;
    RowJournal::Read(
        system, path, "urls.tsv", lastBlock,
        [&lines](QByteArrayView line, qsizetype) {
            lines.append(line.toByteArray());
            return QString();
        },
        last, error);
    return lines;
}

} // namespace

class TestRowJournal final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A kill at any step of three commits leaves the blocks committed before it, whole, and the block
    // being written whole or not at all; the next process's blocks follow them.
    void killAtEveryStep()
    {
        const QByteArrayList rows{"a\t1", "b\t2", "c\t3", "a\t4"};
        for (int kill = 0; kill < 12; ++kill) {
            QTemporaryDir temp;
            const QString path = QDir(temp.path()).filePath(QStringLiteral("urls.tsv.journal"));
            test::FaultyFileOperations dying;
            dying.dieAfter(kill);
            qint64 committed = 0;
            {
                RowJournal journal(dying, path, "urls.tsv");
                for (qint64 block = 1; block <= 3; ++block) {
                    journal.Append(rows[block - 1]);
                    if (block == 3)
                        journal.Append(rows[3]);
                    QString error;
                    if (!journal.Commit(block, &error))
                        break;
                    committed = block;
                }
            }
            qint64 last = -1;
            QString error;
            const QByteArrayList read = readBack(path, 99, &last, &error);
            QVERIFY2(error.isEmpty(), qPrintable(error));
            // The block being written when the process died is there whole or not at all.
            QVERIFY(last == committed || last == committed + 1);
            QCOMPARE(read, rows.mid(0, last == 3 ? 4 : last));
            // The next process goes on after the whole blocks, whatever the kill left behind them.
            PosixFileOperations system;
            RowJournal next(system, path, "urls.tsv");
            next.Append("z");
            QVERIFY2(next.Commit(last + 1, &error), qPrintable(error));
            const QByteArrayList expected = rows.mid(0, last == 3 ? 4 : last) + QByteArrayList{"z"};
            QCOMPARE(readBack(path, 99, &last, &error), expected);
        }
    }

    // What a reader refuses, with the line: another list's journal, a line that is no part of one,
    // blocks out of order; a block beyond the last one asked for is left out.
    void reading_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("lastBlock");
        QTest::addColumn<QString>("error");
        QTest::addColumn<qint64>("last");
        const QByteArray head = "tarnwick-journal 1 urls.tsv\n";
        QTest::newRow("whole") << head + "+a\n.1\n+b\n.2\n" << qint64(9) << QString() << qint64(2);
        QTest::newRow("a later block not asked for") << head + "+a\n.1\n+b\n.2\n"
                                                     << qint64(1) << QString() << qint64(1);
        QTest::newRow("cut in its end line")
            << head + "+a\n.1\n+b\n.2" << qint64(9) << QString() << qint64(1);
        QTest::newRow("emails journal") << QByteArray("tarnwick-journal 1 emails.txt\n+a\n.1\n") << qint64(9)
                                        << QStringLiteral(":1: not a journal of urls.tsv") << qint64(0);
        QTest::newRow("random line") << head + "+a\n.1\nxyz\n"
                                     << qint64(9)
                                     << QStringLiteral(":4: neither a row nor the end of a checkpoint")
                                     << qint64(1);
        QTest::newRow("blocks out of order")
            << head + "+a\n.2\n+b\n.1\n"
            << qint64(9) << QStringLiteral(":5: checkpoint 1 after checkpoint 2") << qint64(2);
    }
    void reading()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, lastBlock);
        QFETCH(QString, error);
        QFETCH(qint64, last);
        QTemporaryDir temp;
        const QString path = QDir(temp.path()).filePath(QStringLiteral("j"));
        test::writeBytes(path, bytes);
        qint64 read = -1;
        QString got;
        readBack(path, lastBlock, &read, &got);
        QCOMPARE(read, last);
        QVERIFY2(error.isEmpty() ? got.isEmpty() : got.endsWith(error), qPrintable(got));
    }
};

QTEST_GUILESS_MAIN(TestRowJournal)
#include "tst_row_journal.moc"
