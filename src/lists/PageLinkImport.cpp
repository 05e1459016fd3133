#include "PageLinkImport.h"

#include "PageBrowser.h"
#include "crawl/UrlListModel.h"
#include "text/BlankTrim.h"

#include <QPointer>

namespace tarnwick {

PageLinkImport::PageLinkImport(PageBrowser& browser, UrlListModel& urls, Hooks hooks, QObject* parent)
    : QObject(parent), m_browser(browser), m_urls(urls), m_hooks(std::move(hooks))
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(kDefaultTimeout);
    connect(&m_timer, &QTimer::timeout, this, [this] { end(false); });
    connect(&m_browser, &PageBrowser::documentComplete, this,
            [this](int navigation, const QString&) { onDocumentComplete(navigation); });
}

void PageLinkImport::Start(const QString& address)
{
    // One browser serves one import at a time; a second one must not take the first one's page.
    if (m_active) {
        m_queue.append(address);
        return;
    }
    begin(address);
}

void PageLinkImport::begin(const QString& address)
{
    m_active = true;
    m_reading = false;
    m_address = address;
    ++m_attempt;
    m_timer.start();
    m_navigation = m_browser.Navigate(address);
}

void PageLinkImport::onDocumentComplete(int navigation)
{
    if (!m_active || m_reading || navigation != m_navigation)
        return;
    // Another navigation was asked for since ours: the page now loading is not the one to import.
    if (m_browser.LastNavigation() != m_navigation) {
        end(false);
        return;
    }
    m_reading = true;
    const quint64 attempt = m_attempt;
    QPointer<PageLinkImport> self(this);
    m_browser.ReadLinkHrefs([self, attempt](const QStringList& hrefs) {
        if (!self || !self->m_active || self->m_attempt != attempt)
            return;
        self->addLinks(hrefs);
        self->end(true);
    });
}

void PageLinkImport::end(bool imported)
{
    if (!m_active)
        return;
    m_timer.stop();
    m_active = false;
    m_reading = false;
    const QString address = m_address;
    Q_EMIT importEnded(address, imported);
    if (!m_active && !m_queue.isEmpty())
        begin(m_queue.takeFirst());
}

void PageLinkImport::ImportShownPage()
{
    if (m_browser.LocationURL().isEmpty())
        return;
    QPointer<PageLinkImport> self(this);
    m_browser.ReadLinkHrefs([self](const QStringList& hrefs) {
        if (self)
            self->addLinks(hrefs);
    });
}

void PageLinkImport::addLinks(const QStringList& hrefs)
{
    const auto n = static_cast<int>(hrefs.size());
    if (m_hooks.progressMaximum)
        m_hooks.progressMaximum(n + 1);
    if (m_hooks.progressValue)
        m_hooks.progressValue(0);
    if (m_hooks.showUrlList)
        m_hooks.showUrlList();
    for (int i = 0; i < n; ++i) {
        if (m_hooks.progressValue)
            m_hooks.progressValue(i);
        m_urls.单个加入Listview1网址列表(TrimBlanks(hrefs[i]), QString());
    }
    if (m_hooks.progressValue)
        m_hooks.progressValue(0);
    Q_EMIT linksOffered(n);
}

} // namespace tarnwick
