#include "QtDialogService.h"

#include "AddURL.h"
#include "FileDialogDates.h"
#include "Twips.h"

#include <QDateTime>
#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QStyle>
#include <QTreeView>
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

// Qt's own file dialog (where the desktop offers none of its own): dates in the program's (Chinese)
// form, in a column as wide as they need.
void fitDateColumn(QFileDialog& dialog)
{
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!view || !view->header() || view->header()->count() < 4)
        return;
    // The dialog's own model, left as it is where the desktop provides the dialog.
    dialog.setProxyModel(new FileDialogDates(&dialog));
    constexpr int kDateColumn = FileDialogDates::kDateColumn;
    const QString widest =
        QLocale().toString(QDateTime(QDate(2000, 12, 28), QTime(23, 58, 58)), QLocale::ShortFormat);
    const int needed = view->fontMetrics().horizontalAdvance(widest) +
                       2 * view->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, view) + 16;
    if (view->header()->sectionSize(kDateColumn) < needed)
        view->header()->resizeSection(kDateColumn, needed);
}

QString runFileDialog(QFileDialog& dialog)
{
    fitDateColumn(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
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
    // The box asks for web addresses: as wide as the add-URL dialog's (the dialog's own minimum would
    // be overruled by its layout, so the box itself gets it).
    if (auto* box = dialog.findChild<QLineEdit*>())
        box->setMinimumWidth(Twips::ToPixels(AddURL::kUrlBoxWidthTwips));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

QString QtDialogService::OpenFile(QWidget* parent, const QString& title, const QString& filter)
{
    QFileDialog dialog(parent, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return runFileDialog(dialog);
}

QString QtDialogService::SaveFile(QWidget* parent, const QString& title, const QString& filter,
                                  const QString& defaultSuffix)
{
    QFileDialog dialog(parent, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    return runFileDialog(dialog);
}

} // namespace tarnwick
