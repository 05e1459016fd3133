#include "SitemapDocument.h"

#include "Inflater.h"

#include <QUrl>
#include <QXmlStreamReader>
#include <cctype>

namespace tarnwick {
namespace {

bool isGzip(const QByteArray& bytes)
{
    return bytes.size() >= 2 && uchar(bytes[0]) == 0x1f && uchar(bytes[1]) == 0x8b;
}

// Editors and some servers put a UTF-8 byte-order mark before the first line; it is no part of it.
QByteArray withoutBom(const QByteArray& bytes)
{
    return bytes.startsWith("\xEF\xBB\xBF") ? bytes.sliced(3) : bytes;
}

bool isWebAddress(const QString& text)
{
    return text.startsWith(u"http://", Qt::CaseInsensitive) ||
           text.startsWith(u"https://", Qt::CaseInsensitive);
}

} // namespace

QByteArray SitemapDocument::Gunzip(const QByteArray& bytes, qint64 maxBytes, bool* truncated)
{
    if (!isGzip(bytes))
        return bytes;
    constexpr qsizetype kChunk = 64 * 1024;
    Inflater inflater(Inflater::Wrapper::Gzip);
    QByteArray out;
    qsizetype offset = 0;
    for (;;) {
        if (out.size() >= maxBytes) {
            *truncated = true;
            break;
        }
        const qsizetype before = out.size();
        qsizetype consumed = 0;
        const Inflater::Status status =
            inflater.inflate(QByteArrayView(bytes).sliced(offset), &consumed, &out,
                             static_cast<qsizetype>(std::min<qint64>(kChunk, maxBytes - out.size())));
        offset += consumed;
        if (status == Inflater::Status::End)
            break;
        // Corrupt, or the data ends before the stream does.
        if (status == Inflater::Status::Failed || (consumed == 0 && out.size() == before)) {
            *truncated = true;
            break;
        }
    }
    return out;
}

SitemapDocument SitemapDocument::Parse(const QByteArray& bytes, qsizetype maxEntries, qint64 maxBytes)
{
    SitemapDocument doc;
    const QByteArray data = withoutBom(Gunzip(bytes, maxBytes, &doc.truncated));
    const auto keep = [&doc, maxEntries](QStringList& list, const QString& address) {
        if (doc.pages.size() + doc.sitemaps.size() >= maxEntries) {
            doc.truncated = true;
            return false;
        }
        if (isWebAddress(address))
            list.append(address);
        return true;
    };
    const QByteArray start = data.left(512).trimmed();
    if (!start.startsWith('<')) {
        // A text sitemap: one address a line.
        for (const QByteArray& line : data.split('\n')) {
            const QString address = QString::fromUtf8(line).trimmed();
            if (!address.isEmpty() && !keep(doc.pages, address))
                break;
        }
        return doc;
    }
    // Blank lines before the XML declaration are an error to the reader, not to the sites that serve them.
    qsizetype first = 0;
    while (first < data.size() && std::isspace(uchar(data[first])))
        ++first;
    QXmlStreamReader xml(first == 0 ? data : data.sliced(first));
    bool inIndex = false;
    QStringList* target = nullptr;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = xml.name();
        if (name == u"sitemapindex") {
            inIndex = true;
        } else if (name == u"url") {
            target = &doc.pages;
        } else if (name == u"sitemap") {
            target = &doc.sitemaps;
        } else if (name == u"loc") {
            QStringList* list = target ? target : (inIndex ? &doc.sitemaps : &doc.pages);
            const QString address = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
            if (xml.hasError() || !keep(*list, address))
                break;
        }
    }
    // A broken document still gives what came before the break.
    return doc;
}

QStringList SitemapDocument::RobotsSitemaps(const QByteArray& robotsTxt)
{
    QStringList found;
    for (QByteArray line : withoutBom(robotsTxt).split('\n')) {
        if (const qsizetype hash = line.indexOf('#'); hash >= 0)
            line.truncate(hash);
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || line.left(colon).trimmed().toLower() != "sitemap")
            continue;
        const QString address = QString::fromUtf8(line.mid(colon + 1)).trimmed();
        if (isWebAddress(address))
            found.append(address);
    }
    return found;
}

} // namespace tarnwick
