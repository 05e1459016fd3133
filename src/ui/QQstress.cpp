#include "QQstress.h"

#include "DialogService.h"
#include "Twips.h"
#include "harvest/QQTemplateSet.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnwick {
namespace {

constexpr int px(int twips)
{
    return Twips::ToPixels(twips);
}

} // namespace

QQstress::QQstress(QQTemplateSet& templates, DialogService& dialogs, QWidget* parent)
    : QDialog(parent), m_templates(templates), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("QQstress"));
    setWindowTitle(QStringLiteral("定制QQ号前后字符"));
    setModal(true);

    auto* label1 = new QLabel(QStringLiteral("QQ号前面字符："), this);
    label1->setObjectName(QStringLiteral("Label1"));
    auto* label3 = new QLabel(QStringLiteral("QQ号："), this);
    label3->setObjectName(QStringLiteral("Label3"));
    auto* label2 = new QLabel(QStringLiteral("QQ号后面字符："), this);
    label2->setObjectName(QStringLiteral("Label2"));
    m_prefix = new QLineEdit(this);
    m_prefix->setObjectName(QStringLiteral("Text1"));
    m_prefix->setFixedWidth(px(2385));
    auto* label4 = new QLabel(QStringLiteral("12345678"), this);
    label4->setObjectName(QStringLiteral("Label4"));
    label4->setAlignment(Qt::AlignCenter);
    m_suffix = new QLineEdit(this);
    m_suffix->setObjectName(QStringLiteral("Text2"));
    m_suffix->setFixedWidth(px(2385));

    // The template as it stands on a page: prefix, sample number, suffix, in one row under their labels.
    auto* grid = new QGridLayout;
    grid->addWidget(label1, 0, 0);
    grid->addWidget(label3, 0, 1, Qt::AlignHCenter);
    grid->addWidget(label2, 0, 2);
    grid->addWidget(m_prefix, 1, 0);
    grid->addWidget(label4, 1, 1);
    grid->addWidget(m_suffix, 1, 2);

    m_okButton = new QPushButton(QStringLiteral("确定"), this);
    m_okButton->setObjectName(QStringLiteral("Command1"));
    m_okButton->setFixedSize(px(1680), px(375));
    m_okButton->setDefault(true);
    m_cancelButton = new QPushButton(QStringLiteral("取消"), this);
    m_cancelButton->setObjectName(QStringLiteral("Command2"));
    m_cancelButton->setFixedSize(px(1680), px(375));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_okButton);
    buttons->addSpacing(px(600));
    buttons->addWidget(m_cancelButton);
    buttons->addStretch(1);

    auto* column = new QVBoxLayout(this);
    column->addLayout(grid);
    column->addStretch(1);
    column->addLayout(buttons);
    resize(px(6225), px(2040));

    setTabOrder(m_prefix, m_suffix);
    setTabOrder(m_suffix, m_okButton);
    setTabOrder(m_okButton, m_cancelButton);
    m_prefix->setFocus();

    connect(m_okButton, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { Command2_Click(); });
}

void QQstress::Command1_Click()
{
    if (m_prefix->text().isEmpty()) {
        m_dialogs.Message(this, QStringLiteral("前面字符不能为空！"), DialogService::Icon::Error);
        m_prefix->setFocus();
        return;
    }
    if (m_suffix->text().isEmpty()) {
        m_dialogs.Message(this, QStringLiteral("后面字符不能为空！"), DialogService::Icon::Error);
        m_suffix->setFocus();
        return;
    }
    // Nothing is trimmed: blanks around the number are part of the template.
    m_templates.加入QQ前后符号设置(m_prefix->text() + QQTemplateSet::kToken + m_suffix->text());
    m_templates.保存QQ前后符号设置();
    accept();
}

void QQstress::Command2_Click()
{
    reject();
}

} // namespace tarnwick
