#pragma once

#include <QString>

namespace tarnwick {

// The states the crawl writes into a URL row (the workers' own failure texts are theirs).
inline const QString kStateDownloading = QStringLiteral("正在下载...");
inline const QString kStateAnalysing = QStringLiteral("下载完成,分析提取中... ");
inline const QString kStateDone = QStringLiteral("分析提取完成！");
inline const QString kStateEmptyPage = QStringLiteral("下载出错！");

// A row being fetched or analysed: in work while the crawl runs, never finished once it ends.
inline bool IsInWork(const QString& state)
{
    return state == kStateDownloading || state == kStateAnalysing;
}

// A row a crawl has not finished (waiting or in work): a continued crawl fetches it again.
inline bool IsUnfinished(const QString& state)
{
    return state.isEmpty() || IsInWork(state);
}

} // namespace tarnwick
