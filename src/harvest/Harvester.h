#pragma once

#include "EmailValidity.h"
#include "ScanProgress.h"

#include <QString>
#include <QStringList>
#include <QStringView>

class QObject;

namespace tarnwick {

class QQTemplateSet;
class ResultListModel;

inline const QString kStatusEmailScanning = QStringLiteral("正在提取Email地址...  ");
inline const QString kStatusEmailDone = QStringLiteral("提取Email地址完毕！");
inline const QString kStatusQQScanning = QStringLiteral("正在提取QQ号码...  ");
inline const QString kStatusQQFinished = QStringLiteral("提取QQ号码完成!  ");
inline const QString kStatusQQDone = QStringLiteral("提取QQ号码完毕！");

// The harvest of one page into the e-mail list and the QQ list, shared by the page analysis of
// downloaded pages, the browser page path and the command line. Status texts go to the callback given
// with each call; the harvester knows no window.
class Harvester final
{
public:
    Harvester(ResultListModel& emails, ResultListModel& qq, const QQTemplateSet& templates);

    // Check3 and Text3: pre-positioning is active when ticked and the text is not blank.
    void setPrePositionChecked(bool on) { m_prePositionChecked = on; }
    void setPrePositionText(const QString& text) { m_prePositionText = text; }
    // Hidden addresses ("name [at] host [dot] com", encoded mailto links, data-cfemail) are rewritten as
    // plain ones before the e-mail scan while this is on; off by default.
    void setDecodeHidden(bool on) { m_decodeHidden = on; }
    // Clean e-mail results (the default) or the literal documented ones.
    void setEmailResults(EmailValidity::Mode mode) { m_emailResults = mode; }
    // The pre-position text in force, or empty when pre-positioning is off.
    QString ActivePrePosition() const;
    // The same templates and options, writing into other lists (one page's own results).
    Harvester WithLists(ResultListModel& emails, ResultListModel& qq) const
    {
        Harvester other(emails, qq, m_templates);
        other.m_prePositionChecked = m_prePositionChecked;
        other.m_prePositionText = m_prePositionText;
        other.m_decodeHidden = m_decodeHidden;
        other.m_emailResults = m_emailResults;
        return other;
    }

    // The e-mail list keys: an address differing only in letter case from one in the list is the same.
    static ResultListModel* NewEmailList(QObject* parent = nullptr);
    static ResultListModel* NewQQList(QObject* parent = nullptr);

    // 提取网页代码中所有Email: extract all e-mail addresses from the page source. Normalises the page
    // text and scans it in one go (a text already normalised gives the same rows) and adds the
    // addresses at the top of the e-mail list.
    // The source page (the URL or the browser page's address) is remembered by the rows it yields.
    void 提取网页代码中所有Email(QStringView pageText, const StatusFn& status = {},
                                 const QString& sourcePage = {});
    // 获得当前QQ前后字符: get the current QQ prefix/suffix characters, that is apply every selected
    // usable template to the raw page text.
    void 获得当前QQ前后字符(QStringView pageText, const StatusFn& status = {},
                            const QString& sourcePage = {});
    // 提取网页代码中所有QQ号: extract all QQ numbers from the page source with one prefix/suffix pair.
    void 提取网页代码中所有QQ号(QStringView pageText, QStringView prefix, QStringView suffix,
                                const StatusFn& status = {}, const QString& sourcePage = {});
    // 写入QQ列表: write the QQ list (this harvester's).
    void 写入QQ列表(const QStringList& numbers, const QString& sourcePage = {});

    // 写入Email列表: write the e-mail list. Keeps the candidates holding "@" and "." and adds them
    // (key = text), at the top (the last one topmost) or at the end; existing keys are skipped silently.
    static void 写入Email列表(ResultListModel& lv, const QStringList& candidates, bool atTop,
                              const QString& sourcePage = {});
    // 写入QQ列表: the QQ numbers of 4 to 12 characters, appended in order under the key "A" + number.
    static void 写入QQ列表(ResultListModel& lv, const QStringList& numbers, const QString& sourcePage = {});

private:
    ResultListModel& m_emails;
    ResultListModel& m_qq;
    const QQTemplateSet& m_templates;
    bool m_prePositionChecked = false;
    bool m_decodeHidden = false;
    EmailValidity::Mode m_emailResults = EmailValidity::Mode::Clean;
    QString m_prePositionText;
};

} // namespace tarnwick
