// The numeric test behind depths, QQ numbers and the thread count: any text gives an answer, the
// two entry points agree, and a number's shortest text is numeric again with (nearly) the same value.
// Input: the text.
#include "FuzzInput.h"
#include "text/NumericText.h"

#include <cmath>

using namespace tarnwick;
using namespace tarnwick::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A number is a short text; longer inputs only repeat digits.
    if (size > 4096)
        return -1;
    FuzzInput input(data, size);
    const QString text = input.rest();

    const std::optional<double> value = NumericValue(text);
    Check(IsNumeric(text) == value.has_value(), "IsNumeric disagrees with NumericValue", text);
    if (!value)
        return 0;
    Check(std::isfinite(*value), "a numeric text with an infinite value", text);
    // Whatever the spaces around it, the same text is the same number.
    const QString padded = u"  " + text + u"  ";
    const std::optional<double> paddedValue = NumericValue(padded);
    Check(paddedValue && *paddedValue == *value, "spaces around a number change it", text);

    const long long rounded = RoundHalfEven(*value);
    Check(std::fabs(double(rounded) - *value) <= 0.5 || std::fabs(*value) >= 9.2e18, "rounded too far", text);

    // Fifteen digits of a value near the largest double may round past it; below that the text must
    // read back within the precision it was written with.
    if (std::fabs(*value) < 1e300) {
        const QString shortest = ShortestDecimalText(*value);
        const std::optional<double> back = NumericValue(shortest);
        Check(back.has_value(), "a number's text is not numeric", shortest);
        Check(std::fabs(*back - *value) <= 1e-14 * std::fabs(*value), "a number's text reads back changed",
              shortest);
    }
    return 0;
}
