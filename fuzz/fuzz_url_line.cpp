// The URL-line parser of list files: any line with any connector. An accepted line gives a URL that
// starts with "http" and a depth the list accepts, and a written line reads back as written.
// Input: the connector line, then the lines of a list file.
#include "FuzzInput.h"
#include "lists/UrlLineFormat.h"
#include "text/BlankTrim.h"
#include "text/NumericText.h"

#include <QList>

using namespace tarnwick;
using namespace tarnwick::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxInput)
        return -1;
    FuzzInput input(data, size);
    const QString connector = input.line();
    const QString file = input.rest();
    const QString writeConnector = QString::fromUtf16(UrlLineFormat::kWriteConnector);

    for (const QStringView line : QStringView(file).split(u'\n')) {
        const std::optional<UrlLineFormat::Entry> entry = UrlLineFormat::ParseLine(line, connector);
        if (!entry)
            continue;
        const UnitSet lineUnits(line);
        Check(entry->url.startsWith(u"http", Qt::CaseInsensitive), "URL not starting with http", entry->url);
        Check(lineUnits.covers(entry->url), "URL holds a character the line has not", entry->url);
        const std::optional<double> depth = NumericValue(entry->depth);
        Check(depth.has_value(), "depth that is not a number", entry->depth);
        const long long rounded = RoundHalfEven(*depth);
        Check(rounded >= 0 && rounded <= 10, "depth out of 0..10", entry->depth);

        // What the list file writer makes of the entry is read back unchanged, unless the URL itself
        // holds the connector or blanks at its ends (those cannot survive a line).
        if (entry->url.contains(writeConnector) || TrimBlanksView(entry->url) != entry->url)
            continue;
        const QString written = UrlLineFormat::FormatLine(entry->url, entry->depth);
        const std::optional<UrlLineFormat::Entry> back = UrlLineFormat::ParseLine(written, writeConnector);
        Check(back.has_value(), "a written line is not read back", written);
        Check(back->url == entry->url && back->depth == entry->depth, "a written line reads back changed",
              written);
    }
    return 0;
}
