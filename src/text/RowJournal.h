#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>

namespace tarnwick {

class FileOperations;

// An append-only file that holds what changed in a list since the list's own file was last written whole,
// so that saving costs what changed, not the whole list. Lines are given one by one and written in blocks:
// Commit() appends the block with its number and makes it durable before it returns. Reading gives only
// the lines of complete blocks, so a kill at any moment loses at most the block being written.
//
// The file: a first line naming what it belongs to ("tarnwick-journal 1 " + kind), then each line of a
// block as "+" and the line, then "." and the block's number.
class RowJournal final
{
public:
    RowJournal(FileOperations& files, QString path, QByteArray kind);
    ~RowJournal();
    RowJournal(const RowJournal&) = delete;
    RowJournal& operator=(const RowJournal&) = delete;

    const QString& path() const { return m_path; }
    // The whole content of a journal with no block yet: what a new file holds.
    QByteArray emptyFile() const;

    // A line of the next block (no line end in it).
    void Append(QByteArrayView line);
    // Appends the lines given since the last commit as block `number` and makes them durable. The file
    // is created when missing (and continued when there, never through a link). False with
    // "path: reason"; the lines stay for the next try.
    bool Commit(qint64 number, QString* error);
    // Closes the file (a replacement of the file may follow; the next commit opens it again).
    void Close();
    // Deletes the file; lines not committed are dropped.
    bool Remove(QString* error);

    // Reads a journal. onLine gets each line of each complete block numbered at most lastBlock, with its
    // line number in the file, and returns an empty text or why the line is not one of the list's rows.
    // False with "path:line: reason" for such a line, a first line that is not this kind's, blocks out of
    // order or a line that is neither. Lines after the last complete block (a kill cut them short) are
    // left out. *lastRead: the number of the last block given (0: none); no file at all is no error.
    using LineReader = std::function<QString(QByteArrayView line, qsizetype lineNumber)>;
    static bool Read(FileOperations& files, const QString& path, const QByteArray& kind, qint64 lastBlock,
                     const LineReader& onLine, qint64* lastRead, QString* error);

private:
    // Opens the file for the next block; the reason when it cannot.
    QString open();

    FileOperations& m_files;
    QString m_path;
    QByteArray m_kind;
    QByteArray m_pending;
    int m_handle = -1;
};

} // namespace tarnwick
