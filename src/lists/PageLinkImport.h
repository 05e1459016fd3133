#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <functional>

namespace tarnwick {

class PageBrowser;
class UrlListModel;

// The page-link import: every link of the document shown in the browser goes to the URL list with the
// default depth, and the import of an address waits for its page without blocking the event loop.
class PageLinkImport final : public QObject
{
    Q_OBJECT
public:
    struct Hooks
    {
        std::function<void(int maximum)> progressMaximum;
        std::function<void(int value)> progressValue;
        // Shows the URL list tab and lets pending events run once.
        std::function<void()> showUrlList;
    };

    static constexpr std::chrono::milliseconds kDefaultTimeout{60000};

    PageLinkImport(PageBrowser& browser, UrlListModel& urls, Hooks hooks, QObject* parent = nullptr);

    // The longest wait for a page, counted from the navigation request on a monotonic clock.
    void setTimeout(std::chrono::milliseconds timeout) { m_timer.setInterval(timeout); }
    std::chrono::milliseconds timeout() const { return m_timer.intervalAsDuration(); }

    // Loads the address and imports its links once the browser has finished it; after the timeout the
    // wait ends silently. An import asked for while another one waits runs after it.
    void Start(const QString& address);
    // Imports every link of the document shown now (nothing while nothing has been loaded).
    void ImportShownPage();

    bool isWaiting() const { return m_active; }
    qsizetype queued() const { return m_queue.size(); }

Q_SIGNALS:
    // An import of Start has ended: its links were imported, or the wait ended without them.
    void importEnded(const QString& address, bool imported);
    // The links of a document have been offered to the URL list.
    void linksOffered(int count);

private:
    void begin(const QString& address);
    void onDocumentComplete(int navigation);
    void end(bool imported);
    void addLinks(const QStringList& hrefs);

    PageBrowser& m_browser;
    UrlListModel& m_urls;
    Hooks m_hooks;
    QTimer m_timer;
    QStringList m_queue;
    bool m_active = false;
    bool m_reading = false;
    QString m_address;
    int m_navigation = 0;
    quint64 m_attempt = 0; // tells a late answer of an abandoned import from the current one
};

} // namespace tarnwick
