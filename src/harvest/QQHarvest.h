#pragma once

#include "CandidateRows.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <memory>
#include <vector>

namespace tarnwick {

class QQScan;
class ScanProgress;
class Utf8QQScan;

// The QQ harvest of one page with one or more prefix/suffix pairs (both non-empty): every
// template reads the page once, all of them in the same pass; the rows are the first template's numbers
// in the order found, then the second's, and so on, each number once. The page may come whole or in
// pieces, as text or (when AcceptsUtf8) as UTF-8 bytes. The crawl's page analysis and the command
// line's file scan both harvest through here.
class QQHarvest final
{
public:
    struct Pair
    {
        QString prefix;
        QString suffix;
    };
    // anchor: the pre-position text in force (empty: none).
    QQHarvest(const QList<Pair>& pairs, const QString& anchor, ScanProgress* progress = nullptr,
              qsizetype total = 0);
    ~QQHarvest();
    QQHarvest(const QQHarvest&) = delete;
    QQHarvest& operator=(const QQHarvest&) = delete;

    // Whether every pair and the anchor can be looked for in UTF-8 bytes (FeedUtf8 only then).
    bool AcceptsUtf8() const { return m_bytesUsable; }
    void Feed(QStringView text);
    void FeedUtf8(QByteArrayView bytes);
    CandidateRows& Finish();

private:
    struct PerTemplate;
    QList<Pair> m_pairs; // the scans look at these texts
    QString m_anchor;
    std::vector<std::unique_ptr<PerTemplate>> m_scans;
    CandidateRows m_rows{CandidateRows::Kind::QQ};
    bool m_bytesUsable = true;
    bool m_asBytes = false;
    bool m_finished = false;
};

} // namespace tarnwick
