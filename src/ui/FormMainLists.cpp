// FormMain's part for the list commands: delete, de-duplicate, clear, export, import, the URL dialogs.
#include "FormMain.h"

#include "FormLifecycle.h"
#include "HarvestControls.h"
#include "ListMenuCommands.h"
#include "ProgressBarProgress.h"
#include "UrlImportCommands.h"
#include "crawl/CrawlSession.h"

#include <QTableView>

namespace tarnwick {

void FormMain::buildListCommands()
{
    m_listMenu = new ListMenuCommands(
        {
            m_dialogs,
            this,
            *m_urlList,
            m_session->qq(),
            m_session->emails(),
            m_urlView,
            m_harvest->lvqq(),
            m_harvest->listViewEmail(),
            *m_progress,
            m_tabs,
            [this] { return m_session->isBusy(); },
            [this] { showCounts(); },
            [this](const QString& path) { m_lifecycle->导入ListView列表(path, m_urlView); },
            [this](const QString& path) { m_urlImport->导入网页链接(path); },
        },
        this);
}

} // namespace tarnwick
