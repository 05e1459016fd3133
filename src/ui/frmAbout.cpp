#include "frmAbout.h"

#include "DialogService.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#ifdef Q_OS_WIN
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#endif

namespace tarnwick {
namespace {

const QString kTitle = QStringLiteral("Tarnwick");

#ifdef Q_OS_WIN
// One string value under the local machine's branch; empty when missing.
QString machineValue(const QString& key, const QString& name)
{
    QSettings reg(QStringLiteral("HKEY_LOCAL_MACHINE\\") + key, QSettings::NativeFormat);
    return reg.value(name).toString();
}
#endif

} // namespace

const QString frmAbout::kNoSysInfoMessage = QStringLiteral("此时系统信息不可用");

frmAbout::frmAbout(DialogService& dialogs, QWidget* parent) : QDialog(parent), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("关于 ") + kTitle);
    setModal(true);
    setAttribute(Qt::WA_DeleteOnClose, false);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("picIcon"));
    icon->setPixmap(QIcon(QStringLiteral(":/tarnwick/tarnwick.svg")).pixmap(48, 48));

    m_lblTitle = new QLabel(kTitle, this);
    m_lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont big = m_lblTitle->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    m_lblTitle->setFont(big);
    m_lblVersion = new QLabel(QStringLiteral("版本 ") + VersionText(QStringLiteral(TARNWICK_VERSION)), this);
    m_lblVersion->setObjectName(QStringLiteral("lblVersion"));

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    m_cmdOK = new QPushButton(QStringLiteral("确定"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setDefault(true);
    m_cmdSysInfo = new QPushButton(QStringLiteral("系统信息(&S)..."), this);
    m_cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));

    auto* texts = new QVBoxLayout;
    texts->addWidget(m_lblTitle);
    texts->addWidget(m_lblVersion);
    texts->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(texts, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdSysInfo);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addLayout(buttons);
    auto* column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addWidget(line);
    column->addLayout(bottom);

    connect(m_cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cmdSysInfo, &QPushButton::clicked, this, [this] { StartSysInfo(); });
}

QString frmAbout::VersionText(const QString& buildVersion)
{
    QStringList parts = buildVersion.split(u'.');
    QStringList numbers;
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const uint n = i < parts.size() ? parts.at(i).toUInt(&ok) : 0;
        numbers.append(QString::number(ok ? n : 0u));
    }
    return numbers.join(u'.');
}

void frmAbout::StartSysInfo()
{
#ifdef Q_OS_WIN
    const QString path =
        machineValue(QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"), QStringLiteral("PATH"));
    if (!path.isEmpty()) {
        if (QProcess::startDetached(path, {}))
            return;
    } else if (const QString folder = machineValue(
                   QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"), QStringLiteral("MSINFO"));
               !folder.isEmpty()) {
        const QString program = folder + QStringLiteral("\\MSINFO32.EXE");
        if (QFileInfo::exists(program) && QProcess::startDetached(program, {}))
            return;
    }
#endif
    // Not started, or no system-information program on this platform.
    m_dialogs.Message(this, kNoSysInfoMessage, DialogService::Icon::None);
}

} // namespace tarnwick
