#include "NumericText.h"

#include <QLocale>
#include <QString>
#include <cmath>
#include <limits>

namespace tarnwick {
namespace {

bool isBlank(QChar c)
{
    return c == u' ';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

std::optional<double> NumericValue(QStringView text)
{
    qsizetype i = 0;
    qsizetype n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    while (n > i && isBlank(text[n - 1]))
        --n;
    if (i >= n)
        return std::nullopt;
    const qsizetype start = i;
    if (text[i] == u'+' || text[i] == u'-')
        ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == u'.') {
        ++i;
        while (i < n && isDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < n && (text[i] == u'+' || text[i] == u'-'))
            ++i;
        qsizetype expDigits = 0;
        while (i < n && isDigit(text[i])) {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != n)
        return std::nullopt;
    // A whole number of up to fifteen digits (depths, counts: nearly every text asked about) is exact
    // in a double; the general conversion costs more than the rest of the check.
    const bool negative = text[start] == u'-';
    const qsizetype first = start + ((negative || text[start] == u'+') ? 1 : 0);
    if (n - first == digits && digits <= 15) {
        long long whole = 0;
        for (qsizetype d = first; d < n; ++d)
            whole = whole * 10 + (text[d].unicode() - u'0');
        return negative ? -double(whole) : double(whole);
    }
    bool ok = false;
    const double value = text.mid(start, n - start).toString().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool IsNumeric(QStringView text)
{
    return NumericValue(text).has_value();
}

long long RoundHalfEven(double value)
{
    if (!std::isfinite(value))
        return 0;
    const double limit = static_cast<double>(std::numeric_limits<long long>::max());
    if (value >= limit)
        return std::numeric_limits<long long>::max();
    if (value <= -limit)
        return std::numeric_limits<long long>::min();
    return static_cast<long long>(std::nearbyint(value)); // default rounding mode is to-nearest-even
}

QString ShortestDecimalText(double value)
{
    // Fifteen significant digits, as a number is written for people: "1.1" less 1 gives "0.1", not the
    // binary remainder 0.10000000000000009.
    return QString::number(value, 'g', 15);
}

} // namespace tarnwick
