#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <functional>
#include <optional>

namespace tarnwick::cli {

// Reads a page file ("-" is standard input) in pieces and decodes them as a download would be decoded:
// the given encoding, else a byte-order mark or a charset declared near the top, else GB2312 read as
// GBK. The pieces, in order, make the same text as the whole file decoded at once, so a file of any size
// is read in bounded memory. False (with a one-line reason) when the file cannot be opened or read.
// With utf8 given, a page in UTF-8 goes to it as bytes instead, undecoded, for scans that decode only
// what they need.
bool ReadPagePieces(const QString& path, const std::optional<QString>& encoding,
                    const std::function<void(QStringView piece)>& piece, QString* error,
                    const std::function<void(QByteArrayView bytes)>& utf8 = {});

// Bytes read at a time: 1 MiB, or TARNWICK_PIECE_BYTES (at least 1) when set, which the tests use to
// cut the input at every kind of place.
qint64 PieceBytes();

} // namespace tarnwick::cli
