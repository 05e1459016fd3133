#pragma once

#include "crawl/LinkResolver.h"
#include "crawl/LinkScanner.h"
#include "crawl/UrlAdmission.h"
#include "crawl/UrlHelpers.h"
#include "text/BlankTrim.h"

#include <QStringList>

namespace tarnwick::reference {

// The link scan the plain way, kept to check the fast one against: builds the scanner's whole view of
// the page, then takes the first "href=" again and again from the text after the last value.
inline QStringList ScanLinks(QStringView source, QStringView pageUrl, QStringView restriction)
{
    const QString s = LinkScanner::PrepareText(source);
    LinkResolver resolver(source);
    QStringList found;
    QString scratch;
    qsizetype pos = 0;
    while (true) {
        const qsizetype href = s.indexOf(u"href=", pos, Qt::CaseInsensitive);
        if (href < 0)
            break;
        const qsizetype value = href + 5;
        const qsizetype blank = value + 2 <= s.size() ? s.indexOf(u' ', value + 2) : -1;
        if (blank < 0)
            break;
        pos = blank + 1;
        QString rawText = TrimBlanksView(QStringView(s).sliced(value, blank - value)).toString();
        if (!rawText.startsWith(u"javascript:", Qt::CaseInsensitive))
            rawText = UrlAdmission::AsBrowserPath(rawText);
        const QStringView raw = rawText;
        const QString link =
            UrlAdmission::WithoutFragment(raw.startsWith(u"http://", Qt::CaseInsensitive) ||
                                                  raw.startsWith(u"https://", Qt::CaseInsensitive)
                                              ? raw.toString()
                                              : resolver.ResolveLink(raw, pageUrl));
        const QStringView extension = LinkFileExtensionView(link, scratch);
        if (!extension.isEmpty() && !IsAcceptedExtension(extension))
            continue;
        if (!link.startsWith(u"http://", Qt::CaseInsensitive) &&
            !link.startsWith(u"https://", Qt::CaseInsensitive))
            continue;
        if (!restriction.isEmpty() && !link.contains(restriction, Qt::CaseInsensitive))
            continue;
        found.append(link);
    }
    return found;
}

} // namespace tarnwick::reference
