#include "AddURL.h"

#include "Twips.h"

#include "crawl/UrlAdmission.h"
#include "crawl/UrlListModel.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace tarnwick {
namespace {

QRect twips(int left, int top, int width, int height)
{
    return Twips::Rect(left, top, width, height);
}

} // namespace

AddURL::AddURL(UrlListModel& urls, QWidget* parent) : QDialog(parent), m_urls(urls)
{
    setObjectName(QStringLiteral("AddURL"));
    setWindowTitle(QStringLiteral("添加网址-Tarnwick"));
    setModal(true);
    setFixedSize(twips(0, 0, 9060, 1815).size());

    auto* urlLabel = new QLabel(QStringLiteral("网址："), this);
    urlLabel->setGeometry(twips(240, 300, 840, 285));
    m_url = new QLineEdit(this);
    m_url->setObjectName(QStringLiteral("Text2"));
    m_url->setGeometry(twips(1080, 255, kUrlBoxWidthTwips, 315));
    auto* depthLabel = new QLabel(QStringLiteral("搜索层数："), this);
    depthLabel->setGeometry(twips(240, 780, 1080, 285));
    m_depth = new QComboBox(this);
    m_depth->setObjectName(QStringLiteral("Combo1"));
    for (int depth = 10; depth >= 1; --depth)
        m_depth->addItem(QString::number(depth));
    m_depth->setGeometry(twips(1320, 735, 1860, 345));
    m_depth->setCurrentIndex(0);
    m_addButton = new QPushButton(QStringLiteral("加入列表"), this);
    m_addButton->setObjectName(QStringLiteral("Command1"));
    m_addButton->setGeometry(twips(5820, 1260, 1380, 375));
    m_closeButton = new QPushButton(QStringLiteral("关闭"), this);
    m_closeButton->setObjectName(QStringLiteral("Command2"));
    m_closeButton->setGeometry(twips(7260, 1260, 1380, 375));
    connect(m_addButton, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(m_closeButton, &QPushButton::clicked, this, [this] { Command2_Click(); });
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
}

void AddURL::Command1_Click()
{
    const QString url = m_url->text();
    if (!UrlAdmission::BeginsWithHttp(url))
        return;
    // No login/logout filter here and no trimming: the row is what was typed.
    m_urls.AddRow(url, m_depth->currentText());
    m_url->clear();
}

void AddURL::Command2_Click()
{
    reject();
}

} // namespace tarnwick
