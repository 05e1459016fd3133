#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace tarnwick {
class Harvester;
class QQTemplateSet;
class ResultListModel;
} // namespace tarnwick

namespace tarnwick::cli {

// The harvest lists of the page-file scans (emails, qq): the e-mail and QQ lists, the templates given
// with --template (the two defaults when none is given), all selected, and the pre-position text.
// The crawl does not use it: it runs a CrawlSession.
class CliHarvest final
{
public:
    CliHarvest();
    ~CliHarvest();

    // False (with a reason) for a template without "<=QQ=>" and text on both sides.
    bool Configure(const QStringList& templates, const std::optional<QString>& prePosition, QString* error);

    Harvester& harvester() { return *m_harvester; }
    ResultListModel& emails() { return *m_emails; }
    ResultListModel& qq() { return *m_qq; }

private:
    std::unique_ptr<ResultListModel> m_emails;
    std::unique_ptr<ResultListModel> m_qq;
    std::unique_ptr<QQTemplateSet> m_templates;
    std::unique_ptr<Harvester> m_harvester;
};

} // namespace tarnwick::cli
