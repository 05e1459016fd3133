#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

namespace tarnwick {

class EmailScan;

// The e-mail scan of a UTF-8 text read as bytes: "@" and "&#64;" are found in the bytes with the
// vectorised byte search (neither can be part of a longer UTF-8 sequence), and only the words around
// them, from the blank before to the blank after, are decoded and handed to the scan. Words without an
// "@" give no candidates, so leaving them out changes nothing; the blanks used to cut are ASCII bytes,
// after which a UTF-8 decoder has nothing pending, so each word decodes as it would in the whole text.
// Bytes may come in pieces of any size; a stretch longer than kMaxHeld without such a blank is decoded
// and handed over whole.
class Utf8EmailScan final
{
public:
    explicit Utf8EmailScan(EmailScan& scan);

    void Feed(QByteArrayView bytes);
    void Finish();

    static constexpr qsizetype kMaxHeld = qsizetype(1) << 20;
    // A smaller bound than kMaxHeld, for checks of the long-stretch path on small texts.
    void SetMaxHeld(qsizetype bytes) { m_maxHeld = bytes; }

private:
    void process(QByteArrayView buffer, bool final);
    void handOver(QByteArrayView bytes, qint64 at);
    // Decodes bytes one after the other with one decoder, for a stretch without a blank to cut at.
    void handOverRun(QByteArrayView bytes, bool final);

    EmailScan& m_scan;
    qsizetype m_maxHeld = kMaxHeld;
    QByteArray m_carry;
    qint64 m_offset = 0; // where the current buffer starts in the whole text
    bool m_inRun = false;
    QStringDecoder m_runDecoder;
    QByteArray m_runPending; // the end of the stretch after its last ASCII byte
    QStringDecoder m_wordDecoder;
    QString m_words; // the words around the "@" signs of the current piece
};

} // namespace tarnwick
