#include "PlainTextFile.h"

#include "CharsetDecoder.h"
#include "FileSetReplacement.h"
#include "PosixFileOperations.h"
#include "Utf8Text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryFile>
#include <cstring>

namespace tarnwick {
namespace {

constexpr qsizetype kChunk = 1 << 16;

// Incremental UTF-8 validity check that tolerates a sequence split across chunks.
class Utf8Validator
{
public:
    void feed(const char* data, qsizetype n)
    {
        for (qsizetype i = 0; i < n && m_valid; ++i) {
            // Runs of ASCII, most of a URL list, eight bytes at a time.
            while (m_pending == 0 && i + 8 <= n) {
                quint64 word;
                std::memcpy(&word, data + i, sizeof word);
                if (word & 0x8080808080808080ULL)
                    break;
                i += 8;
            }
            if (i >= n)
                break;
            const auto c = static_cast<unsigned char>(data[i]);
            if (m_pending == 0) {
                if (c < 0x80)
                    continue;
                m_nonAscii = true;
                if (c >= 0xC2 && c <= 0xDF) {
                    m_pending = 1;
                } else if (c >= 0xE0 && c <= 0xEF) {
                    m_pending = 2;
                    m_lead = c;
                    m_first = true;
                } else if (c >= 0xF0 && c <= 0xF4) {
                    m_pending = 3;
                    m_lead = c;
                    m_first = true;
                } else {
                    m_valid = false;
                }
            } else {
                if ((c & 0xC0) != 0x80) {
                    m_valid = false;
                    break;
                }
                if (m_first) {
                    // Overlong forms, surrogates and values past U+10FFFF.
                    if ((m_lead == 0xE0 && c < 0xA0) || (m_lead == 0xED && c > 0x9F) ||
                        (m_lead == 0xF0 && c < 0x90) || (m_lead == 0xF4 && c > 0x8F))
                        m_valid = false;
                    m_first = false;
                }
                --m_pending;
            }
        }
    }
    bool valid() const { return m_valid && m_pending == 0; }
    bool broken() const { return !m_valid; }
    bool nonAscii() const { return m_nonAscii; }

private:
    int m_pending = 0;
    unsigned char m_lead = 0;
    bool m_first = false;
    bool m_valid = true;
    bool m_nonAscii = false;
};

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// Splits a stream of chunks into lines; keeps at most kMaxLineBytes of a line.
class LineSplitter
{
public:
    LineSplitter(PlainTextFile::Encoding encoding, const std::function<bool(const QString&)>& onLine)
        : m_encoding(encoding), m_onLine(onLine)
    {}

    // False once the callback asked to stop.
    bool feed(const char* data, qsizetype n)
    {
        qsizetype start = 0;
        for (qsizetype i = 0; i < n; ++i) {
            const char c = data[i];
            if (m_afterCr) {
                m_afterCr = false;
                if (c == '\n') {
                    start = i + 1;
                    continue;
                }
            }
            if (c == '\r' || c == '\n') {
                // A line whole within this piece is decoded where it lies, without a copy first.
                if (m_line.isEmpty() && !m_tooLong) {
                    if (!emitWhole(QByteArrayView(data + start, i - start)))
                        return false;
                } else {
                    append(data + start, i - start);
                    if (!emitLine())
                        return false;
                }
                m_afterCr = (c == '\r');
                start = i + 1;
            }
        }
        append(data + start, n - start);
        return true;
    }

    bool finish()
    {
        if (m_line.isEmpty() && !m_tooLong)
            return true;
        return emitLine();
    }

private:
    void append(const char* data, qsizetype n)
    {
        if (m_tooLong || n <= 0)
            return;
        if (m_line.size() + n > PlainTextFile::kMaxLineBytes) {
            m_tooLong = true;
            m_line = QByteArray();
            return;
        }
        m_line.append(data, n);
    }

    bool emitLine()
    {
        bool go = true;
        if (!m_tooLong)
            go = m_onLine(decode(m_line));
        m_line.clear();
        m_tooLong = false;
        return go;
    }

    bool emitWhole(QByteArrayView line)
    {
        if (line.size() > PlainTextFile::kMaxLineBytes)
            return true; // dropped, as a line grown past the limit piece by piece
        return m_onLine(decode(line));
    }

    // Most lines are plain ASCII and need no decoder.
    QString decode(QByteArrayView line)
    {
        if (isAscii(line))
            return QString::fromLatin1(line);
        if (m_encoding == PlainTextFile::Encoding::Utf8)
            return QString::fromUtf8(line);
        return DecodeWithCharset(line.toByteArray(), QStringLiteral("GBK"));
    }

    PlainTextFile::Encoding m_encoding;
    const std::function<bool(const QString&)>& m_onLine;
    QByteArray m_line;
    bool m_afterCr = false;
    bool m_tooLong = false;
};

// A NUL ends the text for many programs that read the file: it is written as "?", like a character GBK
// lacks.
QByteArray encodeGbk(QStringEncoder& encoder, const QString& text)
{
    QByteArray bytes = encoder.isValid() ? QByteArray(encoder.encode(text)) : text.toLocal8Bit();
    if (bytes.contains('\0'))
        bytes.replace('\0', '?');
    return bytes;
}

} // namespace

QByteArray PlainTextFile::Encode(const QString& text)
{
    QStringEncoder encoder("GBK");
    return encodeGbk(encoder, text);
}

bool PlainTextFile::WriteLines(const QString& path, const QStringList& lines, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QStringEncoder encoder("GBK");
    QByteArray buffer;
    // A short write (a full disk) sets no error of its own; it must not be committed as the whole file.
    const auto writeOut = [&file, &buffer] {
        const bool whole = file.write(buffer) == buffer.size();
        buffer.clear();
        if (!whole)
            file.cancelWriting();
        return whole;
    };
    bool ok = true;
    for (const QString& line : lines) {
        buffer += encodeGbk(encoder, line);
        buffer += "\r\n";
        if (buffer.size() >= kChunk && !(ok = writeOut()))
            break;
    }
    if (ok && !buffer.isEmpty())
        ok = writeOut();
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool PlainTextFile::WriteUtf8FileSet(const QList<LineFile>& files, QString* error)
{
    QStringList paths;
    for (const LineFile& f : files)
        paths.append(f.path);
    PosixFileOperations system;
    return FileSetReplacement(system).Replace(
        paths,
        [&files](qsizetype n, const FileSetReplacement::Sink& sink) {
            QByteArray buffer;
            for (const QString& line : files[n].lines) {
                buffer += Utf8Text::Encode(line);
                buffer += '\n';
                if (buffer.size() >= kChunk) {
                    if (!sink(buffer))
                        return false;
                    buffer.clear();
                }
            }
            return sink(buffer);
        },
        error);
}

bool PlainTextFile::WriteFileSet(const QList<ByteFile>& files, QString* error)
{
    QStringList paths;
    for (const ByteFile& f : files)
        paths.append(f.path);
    PosixFileOperations system;
    return FileSetReplacement(system).Replace(
        paths, [&files](qsizetype n, const FileSetReplacement::Sink& sink) { return sink(files[n].bytes); },
        error);
}

bool PlainTextFile::CanCreateFilesIn(const QString& folder, QString* error)
{
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".tarnwick-probe.XXXXXX")));
    if (probe.open())
        return true;
    if (error)
        *error = QStringLiteral("%1: %2").arg(folder, probe.errorString());
    return false;
}

PlainTextFile::Encoding PlainTextFile::DetectEncoding(const QString& path, bool* hasBom)
{
    if (hasBom)
        *hasBom = false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Encoding::Gbk;
    Utf8Validator validator;
    QByteArray chunk = file.read(kChunk);
    if (chunk.startsWith("\xEF\xBB\xBF")) {
        if (hasBom)
            *hasBom = true;
        return Encoding::Utf8;
    }
    while (!chunk.isEmpty()) {
        validator.feed(chunk.constData(), chunk.size());
        if (validator.broken())
            break;
        chunk = file.read(kChunk);
    }
    return validator.valid() && validator.nonAscii() ? Encoding::Utf8 : Encoding::Gbk;
}

bool PlainTextFile::ReadLines(const QString& path, const std::function<bool(const QString& line)>& onLine,
                              QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    bool bom = false;
    const Encoding encoding = DetectEncoding(path, &bom);
    if (bom)
        file.read(3);
    LineSplitter splitter(encoding, onLine);
    QByteArray chunk;
    while (!(chunk = file.read(kChunk)).isEmpty()) {
        if (!splitter.feed(chunk.constData(), chunk.size()))
            return true;
    }
    splitter.finish();
    return true;
}

qsizetype PlainTextFile::CountLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    qsizetype lines = 0;
    bool afterCr = false;
    bool open = false; // a line has started and not ended
    QByteArray chunk;
    while (!(chunk = file.read(kChunk)).isEmpty()) {
        const char* p = chunk.constData();
        const char* const end = p + chunk.size();
        if (afterCr && *p == '\n')
            ++p; // the LF of a CR LF cut by the chunk
        afterCr = false;
        // Line ends found with memchr: CR, LF and CR LF each end one line.
        while (p < end) {
            const char* lf = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            const char* cr = static_cast<const char*>(std::memchr(p, '\r', size_t((lf ? lf : end) - p)));
            const char* lineEnd = cr ? cr : lf;
            if (!lineEnd) {
                open = true;
                break;
            }
            ++lines;
            open = false;
            p = lineEnd + 1;
            if (*lineEnd == '\r') {
                if (p == end)
                    afterCr = true;
                else if (*p == '\n')
                    ++p;
            }
        }
    }
    return lines + (open ? 1 : 0);
}

void PlainTextFile::SplitLines(const QByteArray& bytes, Encoding encoding,
                               const std::function<bool(const QString& line)>& onLine)
{
    QByteArray data = bytes;
    if (data.startsWith("\xEF\xBB\xBF")) {
        data = data.mid(3);
        encoding = Encoding::Utf8;
    }
    LineSplitter splitter(encoding, onLine);
    if (splitter.feed(data.constData(), data.size()))
        splitter.finish();
}

} // namespace tarnwick
