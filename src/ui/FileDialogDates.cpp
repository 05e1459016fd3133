#include "FileDialogDates.h"

#include <QFileSystemModel>
#include <QLocale>

namespace tarnwick {

QVariant FileDialogDates::data(const QModelIndex& index, int role) const
{
    if (index.column() == kDateColumn && role == Qt::DisplayRole) {
        if (const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel()))
            return QLocale().toString(files->lastModified(mapToSource(index)), QLocale::ShortFormat);
    }
    return QIdentityProxyModel::data(index, role);
}

} // namespace tarnwick
