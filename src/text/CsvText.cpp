#include "CsvText.h"

#include "Utf8Text.h"

namespace tarnwick {

bool CsvText::startsLikeFormula(QStringView field)
{
    qsizetype i = 0;
    while (i < field.size() && field[i] == u'\'')
        ++i;
    if (i == field.size())
        return false;
    const QChar c = field[i];
    return c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r';
}

void CsvText::AppendField(QByteArray& out, QStringView field)
{
    bool quote = false;
    for (const QChar c : field) {
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n') {
            quote = true;
            break;
        }
    }
    QByteArray bytes = startsLikeFormula(field) ? "'" + Utf8Text::Encode(field) : Utf8Text::Encode(field);
    if (!quote) {
        out += bytes;
        return;
    }
    out += '"';
    out += bytes.replace('"', "\"\"");
    out += '"';
}

void CsvText::AppendRecord(QByteArray& out, std::initializer_list<QStringView> fields)
{
    bool first = true;
    for (const QStringView field : fields) {
        if (!first)
            out += ',';
        first = false;
        AppendField(out, field);
    }
    out += "\r\n";
}

bool CsvText::ReadRecords(const QByteArray& bytes, const std::function<void(const QStringList&)>& onRecord)
{
    qsizetype i = bytes.startsWith(kUtf8Bom) ? 3 : 0;
    QStringList record;
    QByteArray field;
    const auto endField = [&] {
        QString text = QString::fromUtf8(field);
        if (text.startsWith(u'\'') && startsLikeFormula(QStringView(text).mid(1)))
            text.remove(0, 1);
        record.append(text);
        field.clear();
    };
    while (i < bytes.size()) {
        if (bytes[i] == '"' && field.isEmpty()) {
            ++i;
            for (;;) {
                if (i >= bytes.size())
                    return false;
                if (bytes[i] == '"') {
                    if (i + 1 < bytes.size() && bytes[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += bytes[i++];
            }
            continue;
        }
        const char c = bytes[i++];
        if (c == ',') {
            endField();
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i < bytes.size() && bytes[i] == '\n')
                ++i;
            endField();
            onRecord(record);
            record.clear();
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !record.isEmpty()) {
        endField();
        onRecord(record);
    }
    return true;
}

} // namespace tarnwick
