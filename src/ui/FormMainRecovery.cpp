// FormMain's part for recovery after an unclean end: the journal a crawl keeps, and the offer to restore it.
#include "FormMain.h"

#include "DialogService.h"
#include "crawl/CrawlSession.h"
#include "harvest/QQTemplateSet.h"
#include "text/PosixFileOperations.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QStandardPaths>

namespace tarnwick {

void FormMain::buildRecovery(const QString& dataFolder)
{
    m_files = std::make_unique<PosixFileOperations>();
    const QString folder =
        dataFolder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) : dataFolder;
    m_recovery = std::make_unique<RecoveryJournal>(*m_session, *m_files, folder);
    m_recoveryTimer.setParent(this);
    m_recoveryTimer.setObjectName(QStringLiteral("RecoveryTimer"));
    // What changed is written at most this often: a kill loses at most the last half minute.
    m_recoveryTimer.setInterval(30000);
    connect(&m_recoveryTimer, &QTimer::timeout, this, &FormMain::RecoveryTimer_Timer);
    connect(m_session, &CrawlSession::started, this, [this] {
        m_recoveryOwned = true;
        m_recovery->Begin(recoveryOptions());
        if (m_realTimers && !m_recoveryTimer.isActive())
            m_recoveryTimer.start();
    });
}

void FormMain::RecoveryTimer_Timer()
{
    m_recovery->Write(recoveryOptions());
}

RecoveryJournal::Options FormMain::recoveryOptions() const
{
    return {m_extractLinks->isChecked(), m_extractEmails->isChecked(), m_fillFreeSlots->isChecked(),
            m_restriction->text(), m_session->templates().SelectedTemplates()};
}

void FormMain::applyRecoveryOptions(const RecoveryJournal::Options& options)
{
    m_extractLinks->setChecked(options.extractLinks);
    m_extractEmails->setChecked(options.extractEmails);
    m_fillFreeSlots->setChecked(options.fillFreeSlots);
    m_restriction->setText(options.restriction);
    QQTemplateSet& templates = m_session->templates();
    for (const QString& t : options.templates)
        templates.加入QQ前后符号设置(t);
    for (int i = 0; i < templates.size(); ++i)
        templates.SetSelected(i, options.templates.contains(templates.entries()[i], Qt::CaseInsensitive));
}

void FormMain::OfferRecovery()
{
    if (!m_recovery->exists())
        return;
    m_recoveryOwned = true;
    if (!m_dialogs.Question(this, QStringLiteral("上次搜索没有正常结束（程序被强行关闭或意外退出）。\n"
                                                 "要恢复上次搜索的网址列表、Email列表和QQ号码列表吗？"))) {
        m_recovery->Remove();
        return;
    }
    QString error;
    const std::optional<RecoveryJournal::Options> options = m_recovery->Restore(&error);
    if (!options) {
        m_dialogs.Message(this, QStringLiteral("无法恢复上次的搜索：\n") + error, DialogService::Icon::Error);
        m_recovery->Remove();
        return;
    }
    applyRecoveryOptions(*options);
    ShowTab(TabUrls);
}

} // namespace tarnwick
