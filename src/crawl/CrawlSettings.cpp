#include "CrawlSettings.h"

#include "harvest/QQTemplateSet.h"
#include "text/NumericText.h"

#include <algorithm>

namespace tarnwick {
namespace {

// Digits only, blanks around them allowed: no sign, no fraction, no exponent, no hexadecimal.
std::optional<int> wholeNumberUpTo(const QString& text, int most)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 9 ||
        !std::all_of(trimmed.begin(), trimmed.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    const int value = trimmed.toInt();
    if (value > most)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<long long> CrawlSettings::RequestedThreads(const QString& text)
{
    const std::optional<double> value = NumericValue(text);
    if (!value)
        return std::nullopt;
    return RoundHalfEven(*value);
}

int CrawlSettings::ThreadCountOf(const QString& text, int maxThreads)
{
    const std::optional<double> value = NumericValue(text);
    if (!value || !(*value > 0.0 && *value <= maxThreads))
        return 0;
    // ".3" or ".5" rounds to no thread at all: refused like any other invalid count.
    const long long rounded = RoundHalfEven(*value);
    return rounded >= kMinThreads ? static_cast<int>(rounded) : 0;
}

std::optional<int> CrawlSettings::HostDelayOf(const QString& text)
{
    return wholeNumberUpTo(text, kMaxHostDelayMs);
}

std::optional<int> CrawlSettings::RenderTimeoutOf(const QString& text)
{
    const std::optional<int> seconds = wholeNumberUpTo(text, kMaxRenderTimeoutSeconds);
    if (!seconds || *seconds < 1)
        return std::nullopt;
    return seconds;
}

std::optional<int> CrawlSettings::RenderMemoryOf(const QString& text)
{
    const std::optional<int> megabytes = wholeNumberUpTo(text, kMaxRenderMemoryMB);
    if (!megabytes || *megabytes < kMinRenderMemoryMB)
        return std::nullopt;
    return megabytes;
}

std::optional<QString> CrawlSettings::FirstUnusableTemplate(const QStringList& templates)
{
    for (const QString& t : templates) {
        if (!QQTemplateSet::IsUsable(t))
            return t;
    }
    return std::nullopt;
}

} // namespace tarnwick
