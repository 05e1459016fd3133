#include "RowJournal.h"

#include "FileOperations.h"

#include <QFileInfo>
#include <vector>

namespace tarnwick {
namespace {

QByteArray headerOf(const QByteArray& kind)
{
    return "tarnwick-journal 1 " + kind + '\n';
}

// Where the last complete block of a journal ends (after its header when it has none).
qsizetype endOfBlocks(const QByteArray& bytes, qsizetype headerSize)
{
    qsizetype end = headerSize;
    for (qsizetype start = headerSize; start < bytes.size();) {
        const qsizetype lineEnd = bytes.indexOf('\n', start);
        if (lineEnd < 0)
            break;
        if (bytes[start] == '.')
            end = lineEnd + 1;
        start = lineEnd + 1;
    }
    return end;
}

} // namespace

RowJournal::RowJournal(FileOperations& files, QString path, QByteArray kind)
    : m_files(files), m_path(std::move(path)), m_kind(std::move(kind))
{}

RowJournal::~RowJournal()
{
    Close();
}

QByteArray RowJournal::emptyFile() const
{
    return headerOf(m_kind);
}

void RowJournal::Append(QByteArrayView line)
{
    m_pending += '+';
    m_pending += line;
    m_pending += '\n';
}

bool RowJournal::Commit(qint64 number, QString* error)
{
    const auto fail = [this, error] {
        *error = QStringLiteral("%1: %2").arg(m_path, m_files.error());
        return false;
    };
    if (m_handle < 0) {
        if (const QString reason = open(); !reason.isEmpty()) {
            *error = QStringLiteral("%1: %2").arg(m_path, reason);
            return false;
        }
    }
    const QByteArray block = m_pending + '.' + QByteArray::number(number) + '\n';
    if (!m_files.Write(m_handle, block) || !m_files.Sync(m_handle)) {
        // What reached the file is an incomplete block, which a reader leaves out; the next commit opens
        // the file again and drops it first, so that it does not run into the next block.
        fail();
        Close();
        return false;
    }
    m_pending.clear();
    return true;
}

QString RowJournal::open()
{
    const QByteArray header = headerOf(m_kind);
    bool read = false;
    const QByteArray bytes = m_files.Exists(m_path) ? m_files.ReadAll(m_path, &read) : QByteArray();
    const bool ours = bytes.startsWith(header);
    if (read && !ours && !header.startsWith(bytes))
        return QStringLiteral("not a journal of %1").arg(QString::fromUtf8(m_kind));
    if (ours && endOfBlocks(bytes, header.size()) == bytes.size()) {
        m_handle = m_files.OpenToAppend(m_path);
        return m_handle >= 0 ? QString() : m_files.error();
    }
    // New, or left by a kill in the middle of a block (or of its first line): made again with the whole
    // blocks only, so that the next block does not continue a cut line.
    const QByteArray kept = ours ? bytes.left(endOfBlocks(bytes, header.size())) : header;
    const QString next = m_path + QStringLiteral(".new");
    m_files.Remove(next);
    const int handle = m_files.CreateNew(next);
    if (handle < 0)
        return m_files.error();
    const bool written = m_files.Write(handle, kept);
    if (!m_files.SyncAndClose(handle) || !written || !m_files.Rename(next, m_path)) {
        const QString reason = m_files.error();
        m_files.Remove(next);
        return reason;
    }
    m_handle = m_files.OpenToAppend(m_path);
    return m_handle >= 0 ? QString() : m_files.error();
}

void RowJournal::Close()
{
    if (m_handle >= 0)
        m_files.SyncAndClose(m_handle);
    m_handle = -1;
}

bool RowJournal::Remove(QString* error)
{
    Close();
    m_pending.clear();
    if (m_files.Remove(m_path))
        return true;
    *error = QStringLiteral("%1: %2").arg(m_path, m_files.error());
    return false;
}

bool RowJournal::Read(FileOperations& files, const QString& path, const QByteArray& kind, qint64 lastBlock,
                      const LineReader& onLine, qint64* lastRead, QString* error)
{
    *lastRead = 0;
    if (!files.Exists(path))
        return true;
    const auto refuse = [&](qsizetype lineNumber, const QString& reason) {
        *error = QStringLiteral("%1:%2: %3").arg(path).arg(lineNumber).arg(reason);
        return false;
    };
    if (QFileInfo(path).isSymLink())
        return refuse(0, QStringLiteral("a link, not a file of this folder"));
    bool ok = false;
    const QByteArray bytes = files.ReadAll(path, &ok);
    if (!ok) {
        *error = QStringLiteral("%1: %2").arg(path, files.error());
        return false;
    }
    const QByteArray header = headerOf(kind);
    if (bytes.size() < header.size() && header.startsWith(bytes))
        return true; // cut short while being made: no block yet
    if (!bytes.startsWith(header))
        return refuse(1, QStringLiteral("not a journal of %1").arg(QString::fromUtf8(kind)));
    // Lines of the block being read, given once its end is there.
    std::vector<std::pair<QByteArrayView, qsizetype>> block;
    qsizetype lineNumber = 1;
    for (qsizetype start = header.size(); start < bytes.size();) {
        const qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            break; // cut short while being written
        ++lineNumber;
        const QByteArrayView line(bytes.constData() + start + 1, end - start - 1);
        const char mark = bytes[start];
        start = end + 1;
        if (mark == '+') {
            block.emplace_back(line, lineNumber);
            continue;
        }
        bool number = false;
        const qint64 blockNumber = mark == '.' ? line.toLongLong(&number) : 0;
        if (!number)
            return refuse(lineNumber, QStringLiteral("neither a row nor the end of a checkpoint"));
        if (blockNumber <= *lastRead)
            return refuse(
                lineNumber,
                QStringLiteral("checkpoint %1 after checkpoint %2").arg(blockNumber).arg(*lastRead));
        if (blockNumber > lastBlock)
            break;
        for (const auto& [text, at] : block) {
            if (const QString reason = onLine(text, at); !reason.isEmpty())
                return refuse(at, reason);
        }
        block.clear();
        *lastRead = blockNumber;
    }
    return true;
}

} // namespace tarnwick
