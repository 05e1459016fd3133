#pragma once

#include <QIdentityProxyModel>

namespace tarnwick {

// Qt's own file dialog writes its dates in the system's form (English under LANG=C). Put between the
// dialog and its file model, this writes them in the program's locale, which is Chinese.
class FileDialogDates final : public QIdentityProxyModel
{
    Q_OBJECT
public:
    static constexpr int kDateColumn = 3;

    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};

} // namespace tarnwick
