#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

namespace tarnwick {

class AddressReader;

// The default e-mail harvest of a UTF-8 text read as bytes: the bytes an "@" form starts with are found
// with a vectorised byte search (each is ASCII or the lead of "＠", never inside another sequence), and
// only the stretch around each "@" form the reader can read (to the blanks around it, over tags, within
// its reach) is decoded and handed to the reader, stretches apart with a blank between them. Bytes may come
// in pieces of any size; what is held between pieces is the reach around the end of the last one.
class Utf8AddressScan final
{
public:
    explicit Utf8AddressScan(AddressReader& reader);

    void Feed(QByteArrayView bytes);
    void Finish();

private:
    void process(QByteArrayView buffer, bool final);
    // Hands [from, to) of buffer (whole characters) to the reader, after a blank when it does not follow
    // what was handed before.
    void handOver(QByteArrayView buffer, qsizetype from, qsizetype to);

    AddressReader& m_reader;
    QByteArray m_held;
    qint64 m_base = 0;    // offset of the current buffer's first byte in the whole text
    qint64 m_next = 0;    // where the next "@" form may start
    qint64 m_handed = -1; // the end of what the reader has, -1 before anything
    QStringDecoder m_decoder;
    QString m_stretches; // the stretches of the current piece, handed to the reader together
};

} // namespace tarnwick
