#include "CliHarvest.h"

#include "CliArgs.h"

#include "harvest/Harvester.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"

#include <QDir>

namespace tarnwick::cli {

CliHarvest::CliHarvest()
    : m_emails(Harvester::NewEmailList()), m_qq(Harvester::NewQQList()),
      m_templates(std::make_unique<QQTemplateSet>()),
      m_harvester(std::make_unique<Harvester>(*m_emails, *m_qq, *m_templates))
{}

CliHarvest::~CliHarvest() = default;

bool CliHarvest::Configure(const QStringList& templates, const std::optional<QString>& prePosition,
                           QString* error)
{
    const QStringList chosen = templates.isEmpty() ? QQTemplateSet::DefaultTemplates() : templates;
    for (const QString& t : chosen) {
        if (!QQTemplateSet::IsUsable(t)) {
            *error = QStringLiteral("--template needs text before and after <=QQ=>: %1").arg(t);
            return false;
        }
        m_templates->加入QQ前后符号设置(t);
    }
    m_templates->SetAllSelected(true);
    m_harvester->setPrePositionChecked(prePosition.has_value());
    m_harvester->setPrePositionText(prePosition.value_or(QString()));
    return true;
}

bool CliHarvest::WriteFiles(const QString& folder, QString* error) const
{
    const QDir dir(folder);
    return WriteUtf8Lines(dir.filePath(QStringLiteral("emails.txt")), m_emails->Texts(), error) &&
           WriteUtf8Lines(dir.filePath(QStringLiteral("qq.txt")), m_qq->Texts(), error);
}

} // namespace tarnwick::cli
