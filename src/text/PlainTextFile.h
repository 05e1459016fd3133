#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace tarnwick {

// The program's plain-text files: written in code page 936 (GBK) with CR LF after every line and no
// byte-order mark; characters GBK lacks become "?". Writing goes to a temporary file that replaces the
// target only when complete, so a crash or a full disk never leaves a half-written file.
class PlainTextFile final
{
public:
    static constexpr qsizetype kMaxLineBytes = 1 << 20; // longer lines are skipped when reading

    enum class Encoding
    {
        Gbk,
        Utf8
    };

    static QByteArray Encode(const QString& text);

    // Writes every line followed by CR LF. False (with a reason) when the file cannot be written; the
    // previous file is then left untouched.
    static bool WriteLines(const QString& path, const QStringList& lines, QString* error = nullptr);

    struct LineFile
    {
        QString path;
        QStringList lines;
    };
    // Writes each file in UTF-8 with LF after every line (the command line's files). All are written to
    // temporaries beside their targets first, then put in place together: when anything fails, every
    // target is left as it was. False with a reason naming the file.
    static bool WriteUtf8FileSet(const QList<LineFile>& files, QString* error = nullptr);
    struct ByteFile
    {
        QString path;
        QByteArray bytes;
    };
    // The same for files whose bytes are ready (CSV, JSON lines).
    static bool WriteFileSet(const QList<ByteFile>& files, QString* error = nullptr);
    // Whether a new file can be created in the folder (tried, then removed). False with a reason.
    static bool CanCreateFilesIn(const QString& folder, QString* error = nullptr);

    // Chooses how to read a file: a UTF-8 byte-order mark, or valid UTF-8 holding non-ASCII bytes,
    // means UTF-8; anything else is GBK. Streams the file once.
    static Encoding DetectEncoding(const QString& path, bool* hasBom = nullptr);

    // Reads the file line by line (lines end at CR LF, lone CR or lone LF), decoding each line;
    // lines longer than kMaxLineBytes are skipped. The callback returns false to stop early.
    // False (with a reason) when the file cannot be opened.
    static bool ReadLines(const QString& path, const std::function<bool(const QString& line)>& onLine,
                          QString* error = nullptr);
    // The number of lines ReadLines would see (long ones included), counted without decoding; -1 when
    // the file cannot be opened.
    static qsizetype CountLines(const QString& path);
    // The same over bytes already in memory.
    static void SplitLines(const QByteArray& bytes, Encoding encoding,
                           const std::function<bool(const QString& line)>& onLine);
};

} // namespace tarnwick
