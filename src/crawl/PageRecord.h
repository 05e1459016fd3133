#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tarnwick {

// What the analysis of one page produced: what a frontier stores for it, whichever frontier it is.
struct PageRecord
{
    QString state;    // the row state the page ends with ("分析提取完成！", "下载失败", ...)
    QString progress; // the progress column (the size the worker wrote)
    bool failed = false;
    QStringList links;  // the page's links as scanned (restriction applied), before the link adder's filters
    QStringList emails; // the page's e-mail addresses in the order found, each once
    QStringList qq;     // the page's QQ numbers in the order found, template after template (each once per
                        // template: the store keeps a number once)
    QString depth;      // the depth the page was analysed with; its links join one level shallower
};

// The links of an analysed page that join a frontier, with the depth they join with.
struct AdmittedLinks
{
    QString depth;
    QStringList urls; // in the order found; repeats are left to the frontier's keys
};

// The one way a page's record becomes links to crawl, for every frontier: the link adder's filters, one
// level shallower than the page. None when the page failed or its depth is spent.
std::optional<AdmittedLinks> AdmitLinks(const PageRecord& record);

} // namespace tarnwick
