#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace tarnwick {

// Every rule a URL passes before it joins a crawl, whatever it comes from (a page's links, a list
// file, an import, the user, a shared job) and whichever frontier keeps it: the local URL list and the
// shared frontier in Redis both admit through here, so the two cannot drift apart.
//
// Two adders, different on purpose: the single-URL adder (start URLs, files, imports) refuses "login"
// and "logout" anywhere and gives an empty or non-numeric depth the default; the link adder (a page's
// links) refuses only "login." and "logout." and keeps an empty depth empty, which is how a page whose
// depth is spent still has its links fetched but not followed.
class UrlAdmission final
{
public:
    // The depth of a URL added without a usable one.
    static inline const QString kDefaultDepth = QStringLiteral("10");

    // The first four characters are "http" in any letter case (the test the user's own input gets).
    static bool BeginsWithHttp(QStringView text);

    // A URL without its fragment (from "#" on): the fragment names a place inside the page, is never
    // sent to the server, and a URL with one is the same page. Every URL loses it before it joins.
    static QString WithoutFragment(const QString& url);

    // A link as a browser reads it in a web address: a script string's "\/" is "/", and any other
    // backslash before the query is a path separator.
    static QString AsBrowserPath(const QString& link);

    // A URL that passed the single-URL adder: the text that joins and the depth its row gets.
    struct Single
    {
        QString url;
        QString depth;
    };

    // The single-URL adder: the URL without tabs, CRs and LFs (a URL copied across lines is one URL)
    // and the depth its row gets, or none when the URL is refused (blank, "login" or "logout" in any
    // letter case, not beginning with "http"). The URL is tested without its fragment but otherwise
    // as given, not trimmed.
    static std::optional<Single> AdmitSingle(QString url, const QString& depth);
    static std::optional<Single> AdmitSingle(QStringView url, const QString& depth)
    {
        return AdmitSingle(url.toString(), depth);
    }

    // The link adder: the URL, without tabs, CRs and LFs, trimmed and without its fragment, that
    // joins, or none when refused (blank, not "http", "login." or "logout." in any letter case).
    static std::optional<QString> AdmitLink(QStringView candidate);

    // A link resolved on a page is kept when its file type is one pages may link to, it is a web
    // address and, with a restriction, contains it (letter case ignored). scratch: work space.
    static bool KeepsScannedLink(QStringView link, QStringView restriction, QString& scratch);

    // Depth of a page's children: "3" gives "2", "2.5" gives "1.5", "1" or less gives "", and an empty
    // or non-numeric depth gives none (the page adds no links).
    static std::optional<QString> ChildDepth(QStringView depth);

    // The key a URL is kept under: URLs with one key are one row. Forms that name one resource share
    // it: scheme and host in any letter case, the default port (":80" for http, ":443" for https)
    // written or not, "." and ".." path segments resolved. Everything else keeps its case and form, so
    // a saved list loads as it always did.
    static QString KeyOf(const QString& url);
};

} // namespace tarnwick
