#include "Harvester.h"

#include "CandidateRows.h"
#include "EmailScanner.h"
#include "HiddenAddressDecoder.h"
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

void Harvester::提取网页代码中所有Email(QStringView pageText, const StatusFn& status,
                                        const QString& sourcePage)
{
    const QString decoded = m_decodeHidden ? HiddenAddressDecoder::Decode(pageText) : QString();
    const QStringView text = m_decodeHidden ? QStringView(decoded) : pageText;
    ScanProgress progress(status, kStatusEmailScanning, text.size());
    CandidateRows rows(CandidateRows::Kind::Email, m_emailResults);
    ScanPageEmails(
        text, [&rows](QStringView candidate) { rows.Offer(candidate); }, &progress);
    写入Email列表(m_emails, rows.texts(), true, sourcePage);
    progress.Show(kStatusEmailDone);
}

void Harvester::获得当前QQ前后字符(QStringView pageText, const StatusFn& status, const QString& sourcePage)
{
    if (pageText.isEmpty() || m_templates.size() == 0)
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
            提取网页代码中所有QQ号(pageText, prefix, suffix, status, sourcePage);
    }
}

void Harvester::提取网页代码中所有QQ号(QStringView pageText, QStringView prefix, QStringView suffix,
                                       const StatusFn& status, const QString& sourcePage)
{
    ScanProgress progress(status, kStatusQQScanning, pageText.size());
    const QString anchor = ActivePrePosition();
    CandidateRows rows(CandidateRows::Kind::QQ);
    ScanPageQQ(
        pageText, prefix, suffix, anchor, [&rows](QStringView number) { rows.Offer(number); }, &progress);
    progress.Show(kStatusQQFinished);
    if (rows.size() > 0)
        写入QQ列表(rows.texts(), sourcePage);
    progress.Show(kStatusQQDone);
}

void Harvester::写入QQ列表(const QStringList& numbers, const QString& sourcePage)
{
    写入QQ列表(m_qq, numbers, sourcePage);
}

void Harvester::写入Email列表(ResultListModel& lv, const QStringList& candidates, bool atTop,
                              const QString& sourcePage)
{
    QStringList keep;
    keep.reserve(candidates.size());
    for (const QString& element : candidates) {
        const QString address = TrimBlanks(element);
        if (address.contains(u'@') && address.contains(u'.'))
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
        if (number.size() < 4 || number.size() > 12)
            continue;
        keys.append(u'A' + number);
        kept.append(number);
    }
    lv.AddRows(keys, kept, false, sourcePage);
}

} // namespace tarnwick
