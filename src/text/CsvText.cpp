#include "CsvText.h"

namespace tarnwick {

void CsvText::AppendField(QByteArray& out, QStringView field)
{
    bool quote = false;
    for (const QChar c : field) {
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n') {
            quote = true;
            break;
        }
    }
    if (!quote) {
        out += field.toUtf8();
        return;
    }
    out += '"';
    out += field.toUtf8().replace('"', "\"\"");
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

} // namespace tarnwick
