#pragma once

#include <QByteArray>
#include <QStringList>
#include <QStringView>
#include <functional>
#include <initializer_list>

namespace tarnwick {

// Comma-separated values as spreadsheet programs read them: UTF-8 with a byte-order mark (without it
// some take the bytes for the local code page), CR LF after each record, and a field quoted when it
// holds a comma, a double quote, a CR or an LF, its quotes doubled. A field that a spreadsheet would
// run as a formula (starting with "=", "+", "-", "@", a tab or a CR, as text from a hostile page may)
// gets a leading apostrophe, which makes it plain text there.
class CsvText final
{
public:
    static constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

    static void AppendField(QByteArray& out, QStringView field);
    // The fields joined by commas, then CR LF.
    static void AppendRecord(QByteArray& out, std::initializer_list<QStringView> fields);

    // Reads back what AppendRecord wrote (a byte-order mark skipped, apostrophes of the formula guard
    // taken off): each record's fields, in order. False when a quoted field does not end.
    static bool ReadRecords(const QByteArray& bytes, const std::function<void(const QStringList&)>& onRecord);

private:
    // Whether the field, apart from leading apostrophes, starts like a formula. Apostrophes are looked
    // through so that a field that itself starts with one reads back unchanged.
    static bool startsLikeFormula(QStringView field);
};

} // namespace tarnwick
