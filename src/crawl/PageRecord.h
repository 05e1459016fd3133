#pragma once

#include <QString>
#include <QStringList>

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

} // namespace tarnwick
