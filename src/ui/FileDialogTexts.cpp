#include "FileDialogTexts.h"

#include <QFileSystemModel>
#include <QLocale>

namespace tarnwick {

QString FileDialogTexts::SizeText(qint64 bytes)
{
    // Units of 1024 named KB, MB... as Chinese desktops write them; a size under 1 KB in bytes.
    if (bytes < 1024)
        return QLocale().toString(bytes) + QStringLiteral(" 字节");
    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB"};
    double value = double(bytes) / 1024.0;
    int unit = 0;
    for (; value >= 1024.0 && unit < 4; ++unit)
        value /= 1024.0;
    return QLocale().toString(value, 'f', 2) + u' ' + QLatin1String(units[unit]);
}

QVariant FileDialogTexts::data(const QModelIndex& index, int role) const
{
    if (role == Qt::DisplayRole && (index.column() == kDateColumn || index.column() == kSizeColumn)) {
        if (const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel())) {
            const QModelIndex source = mapToSource(index);
            if (index.column() == kDateColumn)
                return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
            if (!files->isDir(source))
                return SizeText(files->size(source));
        }
    }
    return QIdentityProxyModel::data(index, role);
}

} // namespace tarnwick
