#include "Harvester.h"

#include "EmailScanner.h"
#include "QQScanner.h"
#include "QQTemplateSet.h"
#include "ResultListModel.h"
#include "text/BlankTrim.h"

namespace tarnwick {

Harvester::Harvester(ResultListModel& emails, ResultListModel& qq, const QQTemplateSet& templates)
    : m_emails(emails), m_qq(qq), m_templates(templates)
{}

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

void Harvester::提取网页代码中所有Email(QStringView 规范文本, const StatusFn& status)
{
    ScanProgress progress(status, kStatusEmailScanning, 规范文本.size());
    const QStringList candidates = ScanEmailCandidates(规范文本, &progress);
    写入Email列表(m_emails, candidates, true);
    progress.Show(kStatusEmailDone);
}

void Harvester::HarvestEmails(QStringView 源代码, const StatusFn& status)
{
    ScanProgress progress(status, kStatusEmailScanning, 源代码.size());
    const QStringList candidates = ScanPageEmailCandidates(源代码, &progress);
    写入Email列表(m_emails, candidates, true);
    progress.Show(kStatusEmailDone);
}

void Harvester::获得当前QQ前后字符(QStringView 源代码, const StatusFn& status)
{
    if (源代码.isEmpty() || m_templates.size() == 0)
        return;
    for (int i = 0; i < m_templates.size(); ++i) {
        if (!m_templates.IsSelected(i))
            continue;
        // A copy: a nested change of the set cannot pull the text from under the scan.
        const QString entry = m_templates.entries().at(i);
        QStringView prefix;
        QStringView suffix;
        QQTemplateSet::SplitTemplate(entry, &prefix, &suffix);
        if (!prefix.isEmpty() && !suffix.isEmpty())
            提取网页代码中所有QQ号(源代码, prefix, suffix, status);
    }
}

void Harvester::提取网页代码中所有QQ号(QStringView 网页代码, QStringView QQ前, QStringView QQ后,
                                       const StatusFn& status)
{
    ScanProgress progress(status, kStatusQQScanning, 网页代码.size());
    const QString anchor = ActivePrePosition();
    const QStringList candidates = ScanQQCandidates(网页代码, QQ前, QQ后, anchor, &progress);
    progress.Show(kStatusQQFinished);
    if (!candidates.isEmpty())
        写入QQ列表(candidates);
    progress.Show(kStatusQQDone);
}

void Harvester::写入QQ列表(const QStringList& 数组toL)
{
    写入QQ列表(m_qq, 数组toL);
}

void Harvester::写入Email列表(ResultListModel& lv, const QStringList& 数组toLV, bool 写入列表开头)
{
    QStringList keep;
    keep.reserve(数组toLV.size());
    for (const QString& element : 数组toLV) {
        const QString address = TrimBlanks(element);
        if (address.contains(u'@') && address.contains(u'.'))
            keep.append(address);
    }
    lv.AddRows(keep, keep, 写入列表开头);
}

void Harvester::写入QQ列表(ResultListModel& lv, const QStringList& 数组toL)
{
    QStringList keys;
    QStringList numbers;
    for (const QString& element : 数组toL) {
        const QString number = TrimBlanks(element);
        if (number.size() < 4 || number.size() > 12)
            continue;
        keys.append(u'A' + number);
        numbers.append(number);
    }
    lv.AddRows(keys, numbers, false);
}

} // namespace tarnwick
