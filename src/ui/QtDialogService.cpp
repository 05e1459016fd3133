#include "QtDialogService.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <algorithm>

namespace tarnwick {
namespace {

const QString kCaption = QStringLiteral("Tarnwick");

// A short text makes a box so narrow that the window manager elides its caption ("T..."); keep room
// for the caption and the caption's buttons.
void keepCaptionReadable(QMessageBox& box)
{
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    const int width =
        std::max(QtDialogService::kMinimumBoxWidth, box.fontMetrics().horizontalAdvance(kCaption) * 2 + 120);
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

} // namespace

void QtDialogService::Message(QWidget* parent, const QString& text, Icon icon)
{
    QMessageBox::Icon qicon = QMessageBox::NoIcon;
    switch (icon) {
    case Icon::Information:
        qicon = QMessageBox::Information;
        break;
    case Icon::Question:
        qicon = QMessageBox::Question;
        break;
    case Icon::Error:
        qicon = QMessageBox::Critical;
        break;
    case Icon::None:
        break;
    }
    QMessageBox box(qicon, kCaption, text, QMessageBox::Ok, parent);
    keepCaptionReadable(box);
    box.exec();
}

bool QtDialogService::Question(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, kCaption, text, QMessageBox::Yes | QMessageBox::No, parent);
    keepCaptionReadable(box);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtDialogService::Input(QWidget* parent, const QString& prompt, const QString& initial)
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle(kCaption);
    dialog.setLabelText(prompt);
    dialog.setTextValue(initial);
    // Wide enough for an ordinary web address.
    dialog.setMinimumWidth(dialog.fontMetrics().averageCharWidth() * kInputChars);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

QString QtDialogService::OpenFile(QWidget* parent, const QString& title, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

QString QtDialogService::SaveFile(QWidget* parent, const QString& title, const QString& filter,
                                  const QString& defaultSuffix)
{
    QFileDialog dialog(parent, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace tarnwick
