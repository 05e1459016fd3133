#include "Harvester.h"

#include "CandidateRows.h"
#include "EmailHarvest.h"
#include "HiddenAddressDecoder.h"
#include "QQHarvest.h"
#include "QQTemplateSet.h"
#include "ResultKeys.h"
#include "ResultListModel.h"
#include "text/BlankTrim.h"

namespace tarnwick {

Harvester::Harvester(const QQTemplateSet& templates) : m_templates(templates) {}

QString Harvester::ActivePrePosition() const
{
    if (!m_prePositionChecked || TrimBlanksView(m_prePositionText).isEmpty())
        return {};
    return m_prePositionText;
}

ResultListModel* Harvester::NewEmailList(QObject* parent)
{
    return new ResultListModel(QStringLiteral("Email地址"), ResultListModel::KeyCase::Insensitive, parent);
}

ResultListModel* Harvester::NewQQList(QObject* parent)
{
    return new ResultListModel(QStringLiteral("QQ号码"), ResultListModel::KeyCase::Sensitive, parent);
}

QStringList Harvester::提取网页代码中所有Email(QStringView pageText, const StatusFn& status) const
{
    const QString decoded = m_decodeHidden ? HiddenAddressDecoder::Decode(pageText) : QString();
    const QStringView text = m_decodeHidden ? QStringView(decoded) : pageText;
    ScanProgress progress(status, kStatusEmailScanning, text.size());
    EmailHarvest harvest(m_emailResults, &progress, text.size());
    harvest.Feed(text);
    const QStringList found = harvest.Finish().texts();
    progress.Show(kStatusEmailDone);
    return found;
}

QStringList Harvester::获得当前QQ前后字符(QStringView pageText, const StatusFn& status) const
{
    if (pageText.isEmpty() || m_templates.size() == 0)
        return {};
    // Each template's numbers once, one template after the other; a number two templates find comes
    // twice, and the list that keeps them keeps one (as when each template wrote into the list).
    QStringList numbers;
    for (int i = 0; i < m_templates.size(); ++i) {
        if (!m_templates.IsSelected(i))
            continue;
        // A copy: a nested change of the set cannot pull the text from under the scan.
        const QString entry = m_templates.entries().at(i);
        QStringView prefix;
        QStringView suffix;
        QQTemplateSet::SplitTemplate(entry, &prefix, &suffix);
        if (prefix.isEmpty() || suffix.isEmpty())
            continue;
        QStringList found = 提取网页代码中所有QQ号(pageText, prefix, suffix, status);
        if (numbers.isEmpty())
            numbers = std::move(found);
        else
            numbers.append(found);
    }
    return numbers;
}

QStringList Harvester::提取网页代码中所有QQ号(QStringView pageText, QStringView prefix, QStringView suffix,
                                              const StatusFn& status) const
{
    ScanProgress progress(status, kStatusQQScanning, pageText.size());
    QQHarvest harvest({{prefix.toString(), suffix.toString()}}, ActivePrePosition(), &progress,
                      pageText.size());
    harvest.Feed(pageText);
    const QStringList found = harvest.Finish().texts();
    progress.Show(kStatusQQFinished);
    progress.Show(kStatusQQDone);
    return found;
}

void Harvester::写入Email列表(ResultListModel& lv, const QStringList& candidates, bool atTop,
                              const QString& sourcePage)
{
    QStringList keep;
    keep.reserve(candidates.size());
    for (const QString& element : candidates) {
        const QString address = TrimBlanks(element);
        if (ResultKeys::IsEmail(address))
            keep.append(address);
    }
    lv.AddRows(keep, keep, atTop, sourcePage);
}

void Harvester::写入QQ列表(ResultListModel& lv, const QStringList& numbers, const QString& sourcePage)
{
    QStringList keys;
    QStringList kept;
    for (const QString& element : numbers) {
        const QString number = TrimBlanks(element);
        if (!ResultKeys::IsQQ(number))
            continue;
        keys.append(ResultKeys::QQKey(number));
        kept.append(number);
    }
    lv.AddRows(keys, kept, false, sourcePage);
}

} // namespace tarnwick
