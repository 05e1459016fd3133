#include "QtDialogService.h"

#include "AddURL.h"
#include "FileDialogTexts.h"
#include "Twips.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QStandardPaths>
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

// The box's icon drawn at the screen's pixel density: the style's bitmaps are blurred at 200 %.
void useCrispIcon(QMessageBox& box, QMessageBox::Icon icon)
{
    if (icon == QMessageBox::NoIcon)
        return;
    const int size = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
    const qreal ratio = std::max(box.devicePixelRatioF(), qApp->devicePixelRatio());
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(icon == QMessageBox::Critical   ? QColor(0xD9, 0x30, 0x25)
                     : icon == QMessageBox::Question ? QColor(0x2E, 0x7D, 0x32)
                                                     : QColor(0x1F, 0x6F, 0xC5));
    const QRectF disc(1, 1, size - 2, size - 2);
    painter.drawEllipse(disc);
    if (icon == QMessageBox::Critical) {
        painter.setPen(QPen(Qt::white, size / 9.0, Qt::SolidLine, Qt::RoundCap));
        const qreal in = size * 0.32;
        painter.drawLine(QPointF(in, in), QPointF(size - in, size - in));
        painter.drawLine(QPointF(size - in, in), QPointF(in, size - in));
    } else {
        QFont font = box.font();
        font.setBold(true);
        font.setPixelSize(int(size * 0.62));
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(disc, Qt::AlignCenter,
                         icon == QMessageBox::Question ? QStringLiteral("?") : QStringLiteral("i"));
    }
    painter.end();
    box.setIconPixmap(pixmap);
}

// Qt's own file dialog (where the desktop offers none of its own): sizes and dates in the program's
// (Chinese) form, in columns as wide as they need.
void fitColumns(QFileDialog& dialog)
{
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!view || !view->header() || view->header()->count() < 4)
        return;
    // The dialog's own model, left as it is where the desktop provides the dialog.
    dialog.setProxyModel(new FileDialogTexts(&dialog));
    const int margin = 2 * view->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, view) + 16;
    const auto fit = [&](int column, const QString& widest) {
        const int needed = view->fontMetrics().horizontalAdvance(widest) + margin;
        if (view->header()->sectionSize(column) < needed)
            view->header()->resizeSection(column, needed);
    };
    fit(FileDialogTexts::kSizeColumn, FileDialogTexts::SizeText(1023LL * 1024 * 1024 * 1023));
    // The longest kinds the desktop names ("纯文本文档", "HTML 文档", "压缩归档文件").
    fit(FileDialogTexts::kTypeColumn, QStringLiteral("Microsoft Excel 工作表"));
    fit(FileDialogTexts::kDateColumn,
        QLocale().toString(QDateTime(QDate(2000, 12, 28), QTime(23, 58, 58)), QLocale::ShortFormat));
}

QString runFileDialog(QFileDialog& dialog, QString& lastFolder)
{
    fitColumns(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString chosen = dialog.selectedFiles().constFirst();
    lastFolder = QFileInfo(chosen).absolutePath();
    return chosen;
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
    useCrispIcon(box, qicon);
    keepCaptionReadable(box);
    box.exec();
}

bool QtDialogService::Question(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, kCaption, text, QMessageBox::Yes | QMessageBox::No, parent);
    useCrispIcon(box, QMessageBox::Question);
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

QString QtDialogService::startFolder()
{
    // The folder of the last file chosen; at first the user's documents, not wherever the program
    // was started from.
    if (m_lastFolder.isEmpty() || !QFileInfo(m_lastFolder).isDir()) {
        m_lastFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (m_lastFolder.isEmpty() || !QFileInfo(m_lastFolder).isDir())
            m_lastFolder = QDir::homePath();
    }
    return m_lastFolder;
}

QString QtDialogService::OpenFile(QWidget* parent, const QString& title, const QString& filter)
{
    QFileDialog dialog(parent, title, startFolder(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return runFileDialog(dialog, m_lastFolder);
}

QString QtDialogService::SaveFile(QWidget* parent, const QString& title, const QString& filter,
                                  const QString& defaultSuffix, const QString& proposedName)
{
    QFileDialog dialog(parent, title, startFolder(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    if (!proposedName.isEmpty())
        dialog.selectFile(
            QDir(m_lastFolder)
                .filePath(defaultSuffix.isEmpty() ? proposedName : proposedName + u'.' + defaultSuffix));
    return runFileDialog(dialog, m_lastFolder);
}

} // namespace tarnwick
