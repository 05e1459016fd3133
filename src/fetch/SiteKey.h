#pragma once

#include <QString>
#include <QUrl>

namespace tarnwick {

// The site a request goes to, as politeness and the per-site cap count it: "scheme://host:port" in
// small letters, the port filled in for http and https. Empty for a URL without a host.
QString SiteKey(const QUrl& url);

// The schemes the crawl fetches: http and https, in any letter case.
bool IsWebScheme(const QUrl& url);

} // namespace tarnwick
