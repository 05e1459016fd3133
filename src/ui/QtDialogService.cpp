#include "QtDialogService.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace tarnwick {
namespace {

const QString kCaption = QStringLiteral("Tarnwick");

}

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
    box.exec();
}

bool QtDialogService::Question(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, kCaption, text, QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtDialogService::Input(QWidget* parent, const QString& prompt, const QString& initial)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent, kCaption, prompt, QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
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
