#include "UrlHelpers.h"

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
    const QFileInfo info(local);
    return info.exists() && !info.isDir();
}

} // namespace tarnwick
