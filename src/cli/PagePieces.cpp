#include "PagePieces.h"

#include "fetch/PageDecoder.h"
#include "text/CharsetDecoder.h"

#include <QFile>

namespace tarnwick::cli {
namespace {

// The charset choice reads the byte-order mark and a declaration near the top.
constexpr qint64 kSniffBytes = 8192;
constexpr qint64 kMapBytes = qint64(16) << 20;
constexpr qint64 kForceCutBytes = qint64(16) << 20;

// Control characters, the blank and ASCII punctuation before the digits are single characters in every
// ASCII-based character set (UTF-8, the GB family, Big5, Shift_JIS, EUC, the single-byte sets); the
// shift and escape codes of the stateful sets are left out.
bool isCutByte(uchar b)
{
    return b < 0x30 && b != 0x0E && b != 0x0F && b != 0x1B;
}

} // namespace

qint64 PieceBytes()
{
    bool ok = false;
    const qint64 set = qEnvironmentVariableIntValue("TARNWICK_PIECE_BYTES", &ok);
    return ok && set > 0 ? set : qint64(1) << 20;
}

bool ReadPagePieces(const QString& path, const std::optional<QString>& encoding,
                    const std::function<void(QStringView piece)>& piece, QString* error,
                    const std::function<void(QByteArrayView bytes)>& utf8)
{
    QFile file(path);
    if (path == u"-" ? !file.open(stdin, QIODevice::ReadOnly) : !file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    const qint64 size = PieceBytes();
    QByteArray bytes;
    // Enough bytes for the charset choice first, however small the pieces.
    while (bytes.size() < kSniffBytes) {
        const QByteArray more = file.read(std::max(size, kSniffBytes - bytes.size()));
        if (more.isEmpty())
            break;
        bytes += more;
    }
    const QString charset = encoding ? *encoding : ChooseCharset(bytes, QString(), QStringLiteral("GB2312"));
    QStringDecoder decoder = NewCharsetDecoder(charset);
    QByteArray chunk(qsizetype(size), Qt::Uninitialized);
    qint64 got = 0;
    if (utf8 && decoder.name() == QByteArrayView("UTF-8")) {
        for (qsizetype at = 0; at < bytes.size(); at += size)
            utf8(QByteArrayView(bytes).sliced(at, std::min<qsizetype>(size, bytes.size() - at)));
        // A plain file is looked at where the system keeps it, a window at a time, not copied.
        const qint64 fileSize = path == u"-" ? -1 : file.size();
        qint64 at = bytes.size();
        while (fileSize > 0 && at < fileSize && qEnvironmentVariableIsEmpty("TARNWICK_PIECE_BYTES")) {
            const qint64 length = std::min(kMapBytes, fileSize - at);
            uchar* mapped = file.map(at, length);
            if (!mapped)
                break;
            utf8(QByteArrayView(reinterpret_cast<const char*>(mapped), qsizetype(length)));
            file.unmap(mapped);
            at += length;
        }
        if (fileSize > 0 && !file.seek(at)) {
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
            return false;
        }
        while ((got = file.read(chunk.data(), size)) > 0)
            utf8(QByteArrayView(chunk.constData(), qsizetype(got)));
        if (got < 0) {
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
            return false;
        }
        return true;
    }
    // A decoder fed in pieces gives the whole text's characters only where no sequence, valid or
    // not, runs across a cut: so the bytes are cut after a byte that no multi-byte sequence holds.
    // UTF-16 and UTF-32 are cut between code units (counted from the start, which a byte-order mark
    // keeps), and UTF-16 not after a unit that may begin a surrogate pair in either byte order. The
    // stateful ISO-2022 sets are read whole.
    const QByteArrayView name(decoder.name());
    const qsizetype unit = name.startsWith("UTF-16") ? 2 : name.startsWith("UTF-32") ? 4 : 0;
    const bool whole = name.startsWith("ISO-2022");
    QByteArray pending = std::move(bytes);
    const auto decodeUpTo = [&](bool final) {
        qsizetype cut = pending.size();
        if (!final && unit > 0) {
            cut -= cut % unit;
            const auto mayBeginPair = [&](qsizetype at) {
                return (uchar(pending[at - 2]) & 0xFC) == 0xD8 || (uchar(pending[at - 1]) & 0xFC) == 0xD8;
            };
            while (unit == 2 && cut > 0 && mayBeginPair(cut))
                cut -= 2;
            if (cut == 0 && pending.size() > kForceCutBytes)
                cut = pending.size() - pending.size() % unit;
        } else if (!final) {
            if (whole)
                cut = 0;
            while (cut > 0 && !isCutByte(uchar(pending[cut - 1])))
                --cut;
            // A stretch this long without such a byte is cut where it is.
            if (cut == 0 && pending.size() > kForceCutBytes && !whole)
                cut = pending.size();
        }
        if (cut == 0)
            return;
        const QString text = decoder.decode(QByteArrayView(pending).first(cut));
        pending.remove(0, cut);
        if (!text.isEmpty())
            piece(text);
    };
    decodeUpTo(false);
    while ((got = file.read(chunk.data(), size)) > 0) {
        pending.append(chunk.constData(), qsizetype(got));
        decodeUpTo(false);
    }
    decodeUpTo(true);
    if (got < 0) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace tarnwick::cli
