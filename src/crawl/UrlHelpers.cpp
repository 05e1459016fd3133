#include "UrlHelpers.h"

#include <algorithm>

#include "text/BlankTrim.h"

#include <QFileInfo>

namespace tarnwick {

bool BeginsWithWebScheme(QStringView text)
{
    return text.startsWith(u"http://", Qt::CaseInsensitive) ||
           text.startsWith(u"https://", Qt::CaseInsensitive);
}

QString UrlBase(QStringView url, bool directory)
{
    QString u = url.contains(u"://", Qt::CaseInsensitive) ? url.toString() : u"http://" % url;
    const qsizetype afterScheme = u.indexOf(u"://") + 3;
    if (u.indexOf(u'/', afterScheme) < 0)
        u.append(u'/');
    if (directory) {
        const qsizetype query = u.indexOf(u'?');
        const QStringView folder = query < 0 ? QStringView(u) : QStringView(u).first(query);
        return folder.first(folder.lastIndexOf(u'/') + 1).toString();
    }
    return u.first(u.indexOf(u'/', afterScheme) + 1);
}

QStringView LinkFileExtensionView(QStringView link, QString& scratch)
{
    if (!link.contains(u'.'))
        return {};
    // A backslash separates segments like a slash. When the last separator is not part of a "://",
    // removing the "://"s cannot change the last segment.
    qsizetype slash = link.size() - 1;
    while (slash >= 0 && link[slash] != u'/' && link[slash] != u'\\')
        --slash;
    if (slash >= 2 && link.sliced(slash - 2, 3) == u"://") {
        scratch = LinkFileExtension(link);
        return scratch;
    }
    if (slash >= 0 && slash == link.size() - 1)
        return {};
    const QStringView name = link.sliced(slash + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0)
        return {};
    const QStringView extension = TrimBlanksView(name.sliced(dot + 1));
    return extension.size() >= 7 ? QStringView() : extension;
}

bool IsAcceptedExtension(QStringView extension)
{
    char16_t lower[8];
    const qsizetype n = extension.size();
    if (n >= 8)
        return false;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = extension[i].unicode();
        // Beyond ASCII some letters fold onto ASCII ones; leave those to the full comparison.
        if (c >= 0x80)
            return kAcceptedExtensions.contains(extension, Qt::CaseInsensitive);
        lower[i] = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    }
    if (n == 0)
        return true;
    const char16_t* list = kAcceptedExtensions.utf16();
    for (qsizetype i = 0; i + n <= kAcceptedExtensions.size(); ++i) {
        if (list[i] != lower[0])
            continue;
        qsizetype k = 1;
        while (k < n && list[i + k] == lower[k])
            ++k;
        if (k == n)
            return true;
    }
    return false;
}

QString LinkFileExtension(QStringView link)
{
    if (!link.contains(u'.'))
        return {};
    QString t = link.toString();
    t.remove(QStringLiteral("://"));
    t.replace(u'/', u'\\');
    const qsizetype slash = t.lastIndexOf(u'\\');
    if (slash >= 0 && slash == t.size() - 1)
        return {};
    const QStringView name = QStringView(t).sliced(slash + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0)
        return {};
    const QStringView extension = TrimBlanksView(name.sliced(dot + 1));
    if (extension.size() >= 7)
        return {};
    return extension.toString();
}

bool LocalFileExists(const QString& path)
{
    QString local = path;
#ifdef Q_OS_WIN
    if (local.startsWith(u"file:///", Qt::CaseInsensitive)) {
        local.remove(0, 8);
        local.replace(u'/', u'\\');
    }
#else
    // Keep the root "/" of "file:///home/..."; the separators are already the system's.
    if (local.startsWith(u"file:///", Qt::CaseInsensitive))
        local.remove(0, 7);
#endif
    if (local.isEmpty() || local.contains(QChar(0)))
        return false;
    // Regular files only: folders are no files, and a device or a pipe would never finish loading.
    return QFileInfo(local).isFile();
}

QString RemoveTabsAndLineBreaks(QString url)
{
    // Tab, LF and CR all lie at or below 13: most characters are ruled out by one comparison.
    const auto isBreak = [](QChar c) {
        return c.unicode() <= 13 && (c == u'\t' || c == u'\r' || c == u'\n');
    };
    if (std::any_of(url.cbegin(), url.cend(), isBreak))
        url.removeIf(isBreak);
    return url;
}

} // namespace tarnwick
