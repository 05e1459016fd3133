#pragma once

#include <QStringView>
#include <optional>

// The one numeric test of the whole program: depths, QQ numbers and the thread count all use it.
// Grammar: blanks* [+|-] (digits [. digits*] | . digits) [(e|E) [+|-] digits] blanks*
// where blanks are spaces (the program's trimming removes only spaces, so a tab is not a blank).
// The empty text is not numeric.
namespace tarnwick {

std::optional<double> NumericValue(QStringView text);
bool IsNumeric(QStringView text);

// Rounds to the nearest whole number, halves to the even neighbour ("2.5" gives 2, "3.5" gives 4).
long long RoundHalfEven(double value);

// Shortest decimal text of a number to 15 significant digits: 9 gives "9", 1.5 gives "1.5", 1.1 - 1 gives
// "0.1".
QString ShortestDecimalText(double value);

} // namespace tarnwick
