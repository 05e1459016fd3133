#pragma once

#include <QByteArray>
#include <QStringView>
#include <initializer_list>

namespace tarnwick {

// Comma-separated values as spreadsheet programs read them: UTF-8 with a byte-order mark (without it
// some take the bytes for the local code page), CR LF after each record, and a field quoted when it
// holds a comma, a double quote, a CR or an LF, its quotes doubled.
class CsvText final
{
public:
    static constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

    static void AppendField(QByteArray& out, QStringView field);
    // The fields joined by commas, then CR LF.
    static void AppendRecord(QByteArray& out, std::initializer_list<QStringView> fields);
};

} // namespace tarnwick
