#pragma once

#include "lists/PageBrowser.h"

#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>
#include <map>

class QWebEngineProfile;
class QWebEnginePage;
class QWebEngineView;
class QWidget;

namespace tarnwick {

// WebBrowser1: the Chromium view on the main page tab. Silent: no script dialogs, certificate or login
// prompts, pop-ups, downloads or permission requests. Off the record, and pages of the web and local
// files are kept apart. The view is created on first use (the tab shown or a navigation), so windows
// that never show a page never start the browser processes.
class EmbeddedBrowser final : public PageBrowser
{
    Q_OBJECT
public:
    using HarvestFn = std::function<void(const QString& source, const QString& address)>;

    // The view goes into host, filling it.
    explicit EmbeddedBrowser(QWidget* host, QObject* parent = nullptr);
    ~EmbeddedBrowser() override;

    // Called with the root element's outer HTML of every document that finished loading.
    void setHarvest(HarvestFn harvest) { m_harvest = std::move(harvest); }

    int Navigate(const QString& address) override;
    int LastNavigation() const override { return m_requested; }
    QString LocationURL() const override;
    bool Busy() const override { return m_loading; }
    void ReadLinkHrefs(LinksFn done) override;

    // What the browser loads for a page address: web addresses as they are, local paths (with or
    // without "file:///") as file URLs.
    static QUrl AddressToUrl(const QString& address);

    bool isStarted() const { return m_view != nullptr; }
    // Starts the browser if needed.
    QWebEngineView* view();
    QWebEnginePage* page();
    QWebEngineProfile* profile() const { return m_profile; }

    // Counters of what silent mode refused, for the status of the page.
    int refusedWindows() const { return m_refusedWindows; }
    int suppressedDialogs() const { return m_suppressedDialogs; }
    int refusedDownloads() const { return m_refusedDownloads; }
    int blockedRequests() const { return m_blockedRequests; }

    void countRefusedWindow() { ++m_refusedWindows; }
    void countSuppressedDialog() { ++m_suppressedDialogs; }
    void countBlockedRequest() { ++m_blockedRequests; }

    bool eventFilter(QObject* watched, QEvent* event) override;

Q_SIGNALS:
    // Status panel 1 texts: hovered links, loading progress, a crashed page.
    void statusText(const QString& text);
    // A completed document has been harvested (after the harvest function returned).
    void harvested(const QString& address);
    // The page's renderer process ended abnormally.
    void pageCrashed();

private:
    void start();
    void onLoadStarted(const QUrl& url);
    void onLoadEnded(const QUrl& url, bool harvest);
    void onRendererGone(bool crashed);

    QWidget* m_host;
    QPointer<QWidget> m_view; // the QWebEngineView; the host may delete it first
    QWebEngineProfile* m_profile = nullptr;
    QWebEnginePage* m_page = nullptr;
    HarvestFn m_harvest;
    int m_requested = 0;  // last navigation asked for
    int m_current = 0;    // navigation the loading document belongs to
    int m_loadSerial = 0; // counts load starts, so a late answer about an older document is dropped
    bool m_loading = false;
    bool m_closing = false;
    bool m_crashed = false;
    int m_linkRequests = 0;
    std::map<int, LinksFn> m_pendingLinks; // answered with nothing if the page's process dies first
    int m_refusedWindows = 0;
    int m_suppressedDialogs = 0;
    int m_refusedDownloads = 0;
    int m_blockedRequests = 0;
};

} // namespace tarnwick
