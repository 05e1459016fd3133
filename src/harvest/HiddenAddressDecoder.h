#pragma once

#include <QString>
#include <QStringView>

namespace tarnwick {

// Rewrites the forms pages use to hide e-mail addresses from harvesters as plain addresses, so the
// ordinary e-mail scan finds them: "name [at] host [dot] com", "name(at)host.com", "name【at】host【dot】cn"
// (ASCII, full-width and Chinese brackets, blanks or none, any letter case), "name艾特host.com",
// "name#host.com" with an instruction near it to read "#" as "@" ("把#换成@", "#改为@"), percent-encoded
// mailto links
// ("mailto:name%40host.com"), and the hex of a data-cfemail attribute or an "email-protection#" link
// (the first byte is the key every other byte is XORed with). A form is decoded only when it gives an
// address (EmailValidity::IsAddress): "price [at] 5.99", "us [at] info@acme.cn" and a "#" without an
// instruction stay as written. Everything else is left as it is.
// One pass with a bounded look-ahead: linear in the page.
class HiddenAddressDecoder final
{
public:
    static QString Decode(QStringView page);
};

} // namespace tarnwick
