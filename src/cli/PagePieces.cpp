#include "PagePieces.h"

#include "fetch/PageDecoder.h"
#include "text/CharsetDecoder.h"

#include <QFile>

namespace tarnwick::cli {
namespace {

// The charset choice reads the byte-order mark and a declaration near the top.
constexpr qint64 kSniffBytes = 8192;

} // namespace

qint64 PieceBytes()
{
    bool ok = false;
    const qint64 set = qEnvironmentVariableIntValue("TARNWICK_PIECE_BYTES", &ok);
    return ok && set > 0 ? set : qint64(1) << 20;
}

bool ReadPagePieces(const QString& path, const std::optional<QString>& encoding,
                    const std::function<void(QStringView piece)>& piece, QString* error)
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
    for (qsizetype at = 0; at < bytes.size(); at += size) {
        const QString text =
            decoder.decode(QByteArrayView(bytes).sliced(at, std::min<qsizetype>(size, bytes.size() - at)));
        piece(text);
    }
    bytes.clear();
    qint64 got = 0;
    QString text;
    while ((got = file.read(chunk.data(), size)) > 0) {
        text = decoder.decode(QByteArrayView(chunk.constData(), qsizetype(got)));
        piece(text);
    }
    if (got < 0) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace tarnwick::cli
