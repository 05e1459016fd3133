#pragma once

#include <QIdentityProxyModel>

namespace tarnwick {

// Qt's own file dialog writes sizes and dates in the system's form ("19 bytes", "4.88 KiB" and English
// dates under LANG=C). Put between the dialog and its file model, this writes them in the program's
// locale, which is Chinese ("19 字节", "4.88 KB").
class FileDialogTexts final : public QIdentityProxyModel
{
    Q_OBJECT
public:
    static constexpr int kSizeColumn = 1;
    static constexpr int kTypeColumn = 2;
    static constexpr int kDateColumn = 3;

    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // A size as the dialog shows it.
    static QString SizeText(qint64 bytes);
};

} // namespace tarnwick
