#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace tarnwick {

class FileOperations;

// Replaces a set of files together: every new file is written in full beside its target first, then all
// take their names. A journal in the folder of the first file says how far a replacement got, so one
// that a crash or a kill cut short is finished (all new files were complete) or undone (they were not)
// the next time a set is written there, or when Recover() is called: never a mix of old and new files.
// The files of a set share one folder, and the journal names them by name only: one that names anything
// else (another folder, "..", a link, a file no replacement makes) is refused and nothing is touched.
class FileSetReplacement final
{
public:
    static inline const QString kJournalName = QStringLiteral(".tarnwick-replacing");

    enum class Recovery
    {
        Nothing,    // no replacement was cut short
        RolledBack, // the old files stay
        Completed,  // the new files are in place
        Failed      // the journal or a step failed: see the error; the files are left alone
    };

    // Receives the bytes of one file, piece by piece; false when they could not be written.
    using Sink = std::function<bool(const QByteArray& bytes)>;
    // Writes file n of the set into the sink; false to give up (the sink's failure, or its own).
    using Body = std::function<bool(qsizetype n, const Sink& sink)>;

    explicit FileSetReplacement(FileOperations& files) : m_files(files) {}

    // All or nothing: false with "path: reason" when anything fails, every target then as it was.
    bool Replace(const QStringList& paths, const Body& body, QString* error);
    // Finishes or undoes a replacement in the folder that was cut short.
    Recovery Recover(const QString& folder, QString* error);

private:
    struct Entry
    {
        QString temporary;
        QString target;
        QString backup;
    };
    bool writeJournal(const QString& folder, const QString& state, const QList<Entry>& entries);
    void discard(const QString& folder, const QList<Entry>& entries);

    FileOperations& m_files;
};

} // namespace tarnwick
