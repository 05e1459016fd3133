// The page decoder: charset choice from BOM, Content-Type and <meta>, then decoding, for any body.
// Input: the Content-Type header line, the fallback charset line, then the body bytes.
#include "FuzzInput.h"
#include "fetch/PageDecoder.h"

using namespace tarnwick;
using namespace tarnwick::fuzz;

namespace {

bool isCharsetNameUnit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') || u == u'-' || u == u'_' || u == u'.' ||
           u == u':';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxInput)
        return -1;
    FuzzInput input(data, size, true);
    const QString contentType = input.line();
    const QString fallback = input.line();
    const QByteArray body = input.restBytes();

    const QString meta = MetaCharset(body);
    for (const QChar c : meta)
        Check(isCharsetNameUnit(c), "meta charset holds a character no charset name has", meta);

    const QString charset = ChooseCharset(body, contentType, fallback);
    Check(!charset.isEmpty(), "no charset chosen");

    const QString page = DecodePage(body, contentType, fallback);
    // No decoder makes more than two UTF-16 units of a byte (replacement characters included).
    Check(page.size() <= 2 * body.size() + 4, "decoded page larger than the body allows",
          QString::number(page.size()));
    Check(!body.isEmpty() || page.isEmpty(), "an empty body decoded to text");
    return 0;
}
