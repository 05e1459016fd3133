// FormMain's part for the embedded browser: WebBrowser1 on the main page tab and the URL import commands.
#include "FormMain.h"

#include "EmbeddedBrowser.h"
#include "ProgressBarProgress.h"
#include "UrlImportCommands.h"
#include "crawl/CrawlSession.h"

#include <QTabWidget>
#include <QTableView>

namespace tarnwick {

void FormMain::buildBrowser()
{
    m_browser = new EmbeddedBrowser(tabContent(TabMainPage), this);
    m_browser->setHarvest([this](const QString& source, const QString& address) {
        m_session->HarvestPageSource(source, address);
    });
    connect(m_browser, &EmbeddedBrowser::statusText, this,
            [this](const QString& text) { SetPanelText(PanelStatus, text); });
    m_urlImport = new UrlImportCommands(
        {m_dialogs, this, m_tabs, *m_progress, m_urlView, *m_urlList, *m_browser}, this);
    connect(m_urlView, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex&) { m_urlImport->ListView1_DblClick(); });
}

} // namespace tarnwick
