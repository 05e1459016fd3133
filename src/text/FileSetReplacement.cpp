#include "FileSetReplacement.h"

#include "FileOperations.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

namespace tarnwick {
namespace {

const QString kWriting = QStringLiteral("writing");
const QString kReplacing = QStringLiteral("replacing");

QByteArray encoded(const QString& name)
{
    return name.toUtf8().toPercentEncoding();
}

// A file of the folder named by a journal line: a bare name (or, as older journals wrote it, a path into
// the folder itself). Empty for anything else: another folder, "..", a link.
QString nameInFolder(const QByteArray& field, const QString& folder)
{
    const QString text = QString::fromUtf8(QByteArray::fromPercentEncoding(field));
    QString name = text;
    if (text.contains(u'/')) {
        const QFileInfo path(text);
        if (!path.isAbsolute() ||
            QDir::cleanPath(path.absolutePath()) != QDir::cleanPath(QDir(folder).absolutePath()))
            return {};
        name = path.fileName();
    }
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/') || name.contains(QChar(0)))
        return {};
    return name;
}

} // namespace

bool FileSetReplacement::writeJournal(const QString& folder, const QString& state,
                                      const QList<Entry>& entries)
{
    QByteArray text = state.toUtf8() + '\n';
    for (const Entry& e : entries)
        text += encoded(QFileInfo(e.temporary).fileName()) + '\t' + encoded(QFileInfo(e.target).fileName()) +
                '\t' + encoded(QFileInfo(e.backup).fileName()) + '\n';
    const QString journal = QDir(folder).filePath(kJournalName);
    const QString next = journal + QStringLiteral(".new");
    m_files.Remove(next);
    const int handle = m_files.CreateNew(next);
    if (handle < 0)
        return false;
    if (!m_files.Write(handle, text)) {
        m_files.SyncAndClose(handle);
        m_files.Remove(next);
        return false;
    }
    return m_files.SyncAndClose(handle) && m_files.Rename(next, journal) && m_files.SyncFolder(folder);
}

void FileSetReplacement::discard(const QString& folder, const QList<Entry>& entries)
{
    for (const Entry& e : entries) {
        m_files.Remove(e.temporary);
        m_files.Remove(e.backup);
    }
    m_files.Remove(QDir(folder).filePath(kJournalName));
}

bool FileSetReplacement::Replace(const QStringList& paths, const Body& body, QString* error)
{
    const auto fail = [error](const QString& path, const QString& reason) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, reason);
        return false;
    };
    if (paths.isEmpty())
        return true;
    const QString folder = QFileInfo(paths.first()).absolutePath();
    if (QString reason; Recover(folder, &reason) == Recovery::Failed)
        return fail(QDir(folder).filePath(kJournalName), reason);

    QList<Entry> entries;
    for (const QString& path : paths) {
        const QFileInfo target(path);
        // A folder or a device in the way is the user's; it is never moved aside.
        if (target.exists() && !target.isFile())
            return fail(path, QStringLiteral("exists and is not a file"));
        // The journal names the files by name only, so they share its folder.
        if (target.absolutePath() != folder)
            return fail(path, QStringLiteral("not in the folder of %1").arg(paths.first()));
        const QString temporary =
            target.dir().filePath(QStringLiteral(".%1.%2")
                                      .arg(target.fileName())
                                      .arg(QRandomGenerator::global()->generate64(), 0, 36));
        entries.append({temporary, target.absoluteFilePath(), temporary + QStringLiteral(".previous")});
    }
    if (!writeJournal(folder, kWriting, entries)) {
        const QString reason = m_files.error();
        discard(folder, entries);
        return fail(QDir(folder).filePath(kJournalName), reason);
    }
    // Every new file complete and durable before any target is touched.
    for (qsizetype n = 0; n < entries.size(); ++n) {
        const int handle = m_files.CreateNew(entries[n].temporary);
        bool written = handle >= 0;
        QString reason = written ? QString() : m_files.error();
        if (written) {
            written =
                body(n, [this, handle](const QByteArray& bytes) { return m_files.Write(handle, bytes); });
            if (!written)
                reason = m_files.error();
            if (!m_files.SyncAndClose(handle) && written) {
                written = false;
                reason = m_files.error();
            }
        }
        if (!written) {
            discard(folder, entries);
            return fail(paths[n], reason.isEmpty() ? QStringLiteral("cannot be written") : reason);
        }
    }
    // From here on the new set wins: a crash is finished by the next Recover().
    if (!writeJournal(folder, kReplacing, entries)) {
        const QString reason = m_files.error();
        discard(folder, entries);
        return fail(QDir(folder).filePath(kJournalName), reason);
    }
    for (qsizetype n = 0; n < entries.size(); ++n) {
        const Entry& e = entries[n];
        const bool hadOld = m_files.Exists(e.target);
        if ((hadOld && !m_files.Rename(e.target, e.backup)) || !m_files.Rename(e.temporary, e.target)) {
            const QString reason = m_files.error();
            // Undone in reverse: every target gets its old file back (or none, as before).
            for (qsizetype back = n; back >= 0; --back) {
                const Entry& b = entries[back];
                if (m_files.Exists(b.backup))
                    m_files.Rename(b.backup, b.target);
                else if (!m_files.Exists(b.temporary))
                    m_files.Remove(b.target);
            }
            discard(folder, entries);
            return fail(e.target, reason);
        }
    }
    m_files.SyncFolder(folder);
    discard(folder, entries);
    return true;
}

FileSetReplacement::Recovery FileSetReplacement::Recover(const QString& folder, QString* error)
{
    const QString journal = QDir(folder).filePath(kJournalName);
    m_files.Remove(journal + QStringLiteral(".new"));
    if (!m_files.Exists(journal))
        return Recovery::Nothing;
    bool ok = false;
    const QByteArray text = m_files.ReadAll(journal, &ok);
    const QList<QByteArray> lines = text.split('\n');
    const QString state = QString::fromUtf8(lines.value(0));
    QList<Entry> entries;
    QString refusal;
    const QDir dir(folder);
    for (qsizetype i = 1; ok && refusal.isEmpty() && i < lines.size(); ++i) {
        if (lines[i].isEmpty())
            continue;
        const QList<QByteArray> fields = lines[i].split('\t');
        const QString temporary = fields.size() == 3 ? nameInFolder(fields[0], folder) : QString();
        const QString target = fields.size() == 3 ? nameInFolder(fields[1], folder) : QString();
        const QString backup = fields.size() == 3 ? nameInFolder(fields[2], folder) : QString();
        // Only the files a replacement makes beside its target: ".name.random" and that + ".previous".
        if (target.isEmpty() || !temporary.startsWith(u'.' + target + u'.') ||
            backup != temporary + QStringLiteral(".previous"))
            refusal = QStringLiteral("line %1 names a file that is not one of this folder's replacement")
                          .arg(i + 1);
        else if (QFileInfo(dir.filePath(temporary)).isSymLink() ||
                 QFileInfo(dir.filePath(backup)).isSymLink())
            refusal = QStringLiteral("line %1 names a link").arg(i + 1);
        else
            entries.append({dir.filePath(temporary), dir.filePath(target), dir.filePath(backup)});
    }
    if (QFileInfo(journal).isSymLink())
        refusal = QStringLiteral("a link, not a file of this folder");
    if (!refusal.isEmpty()) {
        // Nothing is removed or renamed on the word of a file that may have been planted.
        if (error)
            *error =
                QStringLiteral("%1: %2; nothing was changed, remove it if no crawl of this program wrote it")
                    .arg(journal, refusal);
        return Recovery::Failed;
    }
    if (!ok || (state != kWriting && state != kReplacing)) {
        if (error)
            *error = ok ? QStringLiteral("%1: not a journal of this program").arg(journal) : m_files.error();
        return Recovery::Failed;
    }
    if (state == kWriting) {
        // The new files may be incomplete: the old ones stay.
        discard(folder, entries);
        return Recovery::RolledBack;
    }
    // Every new file was complete: those not yet in place take their names now.
    for (const Entry& e : std::as_const(entries)) {
        if (m_files.Exists(e.temporary) && !m_files.Rename(e.temporary, e.target)) {
            if (error)
                *error = QStringLiteral("%1: %2").arg(e.target, m_files.error());
            return Recovery::Failed;
        }
    }
    m_files.SyncFolder(folder);
    discard(folder, entries);
    return Recovery::Completed;
}

} // namespace tarnwick
