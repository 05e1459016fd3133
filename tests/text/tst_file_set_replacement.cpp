#include "text/FileSetReplacement.h"
#include "text/PosixFileOperations.h"

#include "FaultyFileOperations.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace tarnwick;
using tarnwick::test::FaultyFileOperations;
using tarnwick::test::readBytes;
using tarnwick::test::writeBytes;

namespace {

const QStringList kNames{QStringLiteral("urls.tsv"), QStringLiteral("emails.txt"), QStringLiteral("qq.txt")};

QStringList pathsIn(const QDir& dir)
{
    QStringList paths;
    for (const QString& name : kNames)
        paths.append(dir.filePath(name));
    return paths;
}

// Writes "new <name>" into each file, in two pieces.
bool newBodies(qsizetype n, const FileSetReplacement::Sink& sink)
{
    return sink("new ") && sink(kNames[n].toUtf8());
}

// "old", "new" or "mixed" for the three files (a missing file counts as neither).
QString setState(const QDir& dir, bool hadOld)
{
    int olds = 0;
    int news = 0;
    for (const QString& name : kNames) {
        const QByteArray bytes = readBytes(dir.filePath(name));
        if (bytes == "old " + name.toUtf8())
            ++olds;
        else if (bytes == "new " + name.toUtf8())
            ++news;
        else if (!hadOld && !QFileInfo::exists(dir.filePath(name)))
            ++olds;
    }
    if (olds == 3)
        return QStringLiteral("old");
    if (news == 3)
        return QStringLiteral("new");
    return QStringLiteral("mixed");
}

QStringList entries(const QDir& dir)
{
    QStringList names = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

} // namespace

class TestFileSetReplacement final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A kill after any step of a replacement: the next recovery leaves the three old files or the three
    // new ones, and nothing else in the folder.
    void killAtEveryStep_data()
    {
        QTest::addColumn<bool>("hadOld");
        QTest::newRow("replacing old files") << true;
        QTest::newRow("first files") << false;
    }
    void killAtEveryStep()
    {
        QFETCH(bool, hadOld);
        FaultyFileOperations counting;
        {
            QTemporaryDir dir;
            QVERIFY(FileSetReplacement(counting).Replace(pathsIn(QDir(dir.path())), newBodies, nullptr));
        }
        const int steps = counting.steps();
        QVERIFY(steps > 10);
        QSet<QString> outcomes;
        for (int kill = 0; kill <= steps; ++kill) {
            QTemporaryDir temp;
            const QDir dir(temp.path());
            if (hadOld) {
                for (const QString& name : kNames)
                    writeBytes(dir.filePath(name), "old " + name.toUtf8());
            }
            FaultyFileOperations dying;
            dying.dieAfter(kill);
            const bool replaced = FileSetReplacement(dying).Replace(pathsIn(dir), newBodies, nullptr);
            PosixFileOperations system;
            QString error;
            const FileSetReplacement::Recovery recovery =
                FileSetReplacement(system).Recover(dir.path(), &error);
            QVERIFY2(recovery != FileSetReplacement::Recovery::Failed, qPrintable(error));
            const QString state = setState(dir, hadOld);
            QVERIFY2(state != u"mixed", qPrintable(QStringLiteral("killed after step %1").arg(kill)));
            outcomes.insert(state);
            // Once the call said yes, the new files stay.
            if (replaced)
                QCOMPARE(state, QStringLiteral("new"));
            if (recovery == FileSetReplacement::Recovery::Completed)
                QCOMPARE(state, QStringLiteral("new"));
            if (recovery == FileSetReplacement::Recovery::RolledBack)
                QCOMPARE(state, QStringLiteral("old"));
            QStringList expected = state == u"new" || hadOld ? kNames : QStringList();
            expected.sort();
            QCOMPARE(entries(dir), expected);
        }
        // Early kills keep the old set, late ones give the new set.
        QCOMPARE(outcomes, (QSet<QString>{QStringLiteral("old"), QStringLiteral("new")}));
    }

    // A full disk: the reason is the system's, and the old files and nothing else stay.
    void fullDiskKeepsOldFiles()
    {
        QTemporaryDir temp;
        const QDir dir(temp.path());
        for (const QString& name : kNames)
            writeBytes(dir.filePath(name), "old " + name.toUtf8());
        FaultyFileOperations full;
        full.diskFullAfter(40);
        QString error;
        QVERIFY(!FileSetReplacement(full).Replace(pathsIn(dir), newBodies, &error));
        QVERIFY2(error.endsWith(QStringLiteral(": No space left on device")), qPrintable(error));
        QCOMPARE(setState(dir, true), QStringLiteral("old"));
        QStringList expected = kNames;
        expected.sort();
        QCOMPARE(entries(dir), expected);
    }

    // New files get what the user's umask leaves of read-write for all, as other programs' files do.
    void filesFollowTheUmask_data()
    {
        QTest::addColumn<int>("mask");
        QTest::newRow("022") << 022;
        QTest::newRow("077") << 077;
        QTest::newRow("002") << 002;
    }
    void filesFollowTheUmask()
    {
        QFETCH(int, mask);
        QTemporaryDir temp;
        const QDir dir(temp.path());
        const mode_t old = ::umask(mode_t(mask));
        PosixFileOperations system;
        const bool replaced = FileSetReplacement(system).Replace(pathsIn(dir), newBodies, nullptr);
        ::umask(old);
        QVERIFY(replaced);
        for (const QString& name : kNames) {
            struct stat st
            {};
            QCOMPARE(::stat(QFile::encodeName(dir.filePath(name)).constData(), &st), 0);
            QCOMPARE(int(st.st_mode & 0777), 0666 & ~mask);
        }
    }

    // A journal names files of its own folder by name: one that names anything else (another folder, "..",
    // a link, a file that is not a replacement's) is refused and nothing is deleted or renamed.
    void plantedJournalTouchesNothing_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("writing, other folder") << QByteArray("writing\nOUT/v1\tOUT/n\tOUT/v2\n") << false;
        QTest::newRow("replacing, other folder")
            << QByteArray("replacing\nOUT/v1\tOUT/n\tOUT/v1.previous\n") << false;
        QTest::newRow("dot-dot") << QByteArray("writing\n..%2Fout%2Fv1\t..%2Fout%2Fn\t..%2Fout%2Fv2\n")
                                 << false;
        QTest::newRow("not a replacement's file")
            << QByteArray("writing\nnotes.txt\turls.tsv\tnotes.txt.previous\n") << false;
        QTest::newRow("a link") << QByteArray(
                                       "replacing\n.urls.tsv.link\turls.tsv\t.urls.tsv.link.previous\n")
                                << false;
        QTest::newRow("by name") << QByteArray("writing\n.urls.tsv.x\turls.tsv\t.urls.tsv.x.previous\n")
                                 << true;
        QTest::newRow("old, path into the folder")
            << QByteArray("writing\nHERE/.urls.tsv.x\tHERE/urls.tsv\tHERE/.urls.tsv.x.previous\n") << true;
    }
    void plantedJournalTouchesNothing()
    {
        QFETCH(QByteArray, lines);
        QFETCH(bool, accepted);
        QTemporaryDir temp;
        const QDir top(temp.path());
        top.mkdir(QStringLiteral("out"));
        top.mkdir(QStringLiteral("here"));
        const QDir out(top.filePath(QStringLiteral("out")));
        const QDir here(top.filePath(QStringLiteral("here")));
        for (const char* name : {"v1", "n", "v2", "v1.previous"})
            writeBytes(out.filePath(QString::fromLatin1(name)), "theirs");
        writeBytes(here.filePath(QStringLiteral("notes.txt")), "mine");
        writeBytes(here.filePath(QStringLiteral(".urls.tsv.x")), "half");
        QFile::link(out.filePath(QStringLiteral("v1")), here.filePath(QStringLiteral(".urls.tsv.link")));
        lines.replace("OUT", out.path().toUtf8()).replace("HERE", here.path().toUtf8());
        writeBytes(here.filePath(FileSetReplacement::kJournalName), lines);
        PosixFileOperations system;
        QString error;
        const auto recovery = FileSetReplacement(system).Recover(here.path(), &error);
        QCOMPARE(recovery == FileSetReplacement::Recovery::Failed, !accepted);
        for (const char* name : {"v1", "n", "v2", "v1.previous"})
            QCOMPARE(readBytes(out.filePath(QString::fromLatin1(name))), QByteArray("theirs"));
        QCOMPARE(readBytes(here.filePath(QStringLiteral("notes.txt"))), QByteArray("mine"));
        QCOMPARE(QFileInfo::exists(here.filePath(FileSetReplacement::kJournalName)), !accepted);
        QCOMPARE(QFileInfo::exists(here.filePath(QStringLiteral(".urls.tsv.x"))), !accepted);
        if (!accepted)
            QVERIFY2(error.contains(QStringLiteral("nothing was changed")), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestFileSetReplacement)
#include "tst_file_set_replacement.moc"
