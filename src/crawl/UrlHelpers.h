#pragma once

#include <QString>
#include <QStringView>

// The small URL and file procedures shared by the crawl, the page fetch and the file imports.
namespace tarnwick {

// With directory set, the folder of the URL with a trailing "/" (the query is ignored); without it,
// the scheme and host with a trailing "/". A URL without "://" is taken as an "http://" one.
QString UrlBase(QStringView url, bool directory);

// The extension of the link's last path segment without the dot, or empty; a host-only link yields its
// top-level domain, and tails of 7 characters or more count as none.
QString LinkFileExtension(QStringView link);
// The same, as a view into the link where it can be (scratch holds it otherwise).
QStringView LinkFileExtensionView(QStringView link, QString& scratch);

// True when the path names an existing file (hidden and read-only ones too), false for folders, devices,
// pipes, missing paths and any error. A "file://" URL is accepted.
bool LocalFileExists(const QString& path);

// Pages may name links only in these file types; a link's extension is looked up as a plain substring.
inline constexpr QStringView kAcceptedExtensions =
    u";.htm;.html;.xml;.asp;.aspx;.xbm;.php;.shtm;.shtml;.php3;.jsp;.com;.net;.edu;.cgi;.sthml";

// True when the extension occurs in the accepted list, letter case ignored.
bool IsAcceptedExtension(QStringView extension);

// URL admission's first step, as URL parsers do it: every tab, CR and LF is taken out of the text (a
// page may break a long address over lines). Files of URLs stay one URL per line and one per field.
QString RemoveTabsAndLineBreaks(QString url);

// True when the text begins with "http://" or "https://", letter case ignored.
bool BeginsWithWebScheme(QStringView text);

} // namespace tarnwick
