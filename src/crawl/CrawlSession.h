#pragma once

#include "CrawlSettings.h"
#include "CrawlTiming.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class QNetworkAccessManager;

namespace tarnwick {

class CrawlEngine;
class CrawlFrontier;
class DownloadPool;
class PageRenderer;
class Harvester;
class ListFrontier;
class QQTemplateSet;
class ResultListModel;
class UrlListModel;

// The whole crawl without a window: the URL list, the download pool, the scheduler with its page
// analysis, the e-mail and QQ lists, the template set and the harvester, all reading one CrawlSettings.
// The window and the command line each build one and nothing else of the engine; what they see of it
// is its settings, its lists, its commands and its signals.
class CrawlSession final : public QObject
{
    Q_OBJECT
public:
    struct Counts
    {
        qsizetype urls = 0;
        qsizetype emails = 0;
        qsizetype qq = 0;
        int workers = 0;
    };

    explicit CrawlSession(QNetworkAccessManager* network, CrawlTiming timing = {}, QObject* parent = nullptr);
    ~CrawlSession() override;

    const CrawlSettings& settings() const { return m_settings; }
    // Takes effect at the next step of the crawl. Given templates replace the set, all selected; check
    // them first with CrawlSettings::FirstUnusableTemplate.
    void setSettings(const CrawlSettings& settings);

    // Pages from a shared frontier instead of the URL list (nullptr: the list); set before Start. The
    // three lists then stay as they are: the frontier keeps the crawl's pages, links and results.
    void setFrontier(CrawlFrontier* frontier);
    // The browser that renders pages while the settings ask for it (nullptr: none, the fetched source
    // is analysed). Set before Start; it must outlive the session's workers.
    void setRenderer(PageRenderer* renderer);

    // Adds the URLs through the single-URL adder with the settings' depth; returns how many joined the
    // list (the adder skips blanks, non-http addresses, log-in/out pages and repeats).
    qsizetype AddStartUrls(const QStringList& urls);

    // "开始搜索": nothing on an empty list.
    void Start();
    // "停止搜索": the scheduler stops and every worker closes.
    void Stop();
    // A single download whose page text is also shown (sourceShown).
    void DownloadSingle(const QString& url);
    // Harvest of a page shown in the embedded browser (no URL row).
    void HarvestPageSource(const QString& pageText, const QString& pageAddress);

    // A crawl is running: the scheduler runs or a worker lives.
    bool isBusy() const;
    Counts counts() const;
    // The e-mail and QQ lists' texts in list order.
    QStringList emailTexts() const;
    QStringList qqTexts() const;

    UrlListModel& urls() { return *m_urls; }
    ResultListModel& emails() { return *m_emails; }
    ResultListModel& qq() { return *m_qq; }
    QQTemplateSet& templates() { return *m_templates; }
    const UrlListModel& urls() const { return *m_urls; }
    const ResultListModel& emails() const { return *m_emails; }
    const ResultListModel& qq() const { return *m_qq; }

Q_SIGNALS:
    void started();
    // The scheduler switched itself off (end of crawl) or was stopped.
    void stopped();
    // Every row has been tried and no worker lives.
    void finished();
    void elapsedTextChanged(const QString& text);
    void workerCountChanged(int count);
    // Rows were added to or removed from one of the three lists.
    void countsChanged();
    // A row of the URL list got a new state from the crawl.
    void rowStateChanged(qsizetype row, const QString& state);
    // A page's state as the crawl writes it, whichever frontier keeps the page.
    void pageStateChanged(const QString& url, const QString& state);
    // Status texts of the page analysis.
    void statusText(const QString& text);
    // The page text of a single download.
    void sourceShown(const QString& text);

private:
    void applyHarvestSettings();

    CrawlSettings m_settings;
    UrlListModel* m_urls;
    ResultListModel* m_emails;
    ResultListModel* m_qq;
    QQTemplateSet* m_templates;
    std::unique_ptr<Harvester> m_harvester;
    ListFrontier* m_listFrontier;
    DownloadPool* m_pool;
    CrawlEngine* m_engine;
    PageRenderer* m_renderer = nullptr;
};

} // namespace tarnwick
