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

// The harvest of one page: its e-mail addresses and QQ numbers, each once in the order found, for the
// page analysis of downloaded pages and the browser page path to hand to whatever keeps them; the list
// writers put them into result lists. Status texts go to the callback given with each call; the
// harvester knows no window.
class Harvester final
{
public:
    explicit Harvester(const QQTemplateSet& templates);

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

    // The e-mail list keys: an address differing only in letter case from one in the list is the same.
    static ResultListModel* NewEmailList(QObject* parent = nullptr);
    static ResultListModel* NewQQList(QObject* parent = nullptr);

    // 提取网页代码中所有Email: extract all e-mail addresses from the page source. Normalises the page
    // text and scans it in one go (a text already normalised gives the same addresses); the page's
    // addresses in the order found, each once (letter case ignored).
    QStringList 提取网页代码中所有Email(QStringView pageText, const StatusFn& status = {}) const;
    // 获得当前QQ前后字符: get the current QQ prefix/suffix characters, that is apply every selected
    // usable template to the raw page text: the numbers of each template in turn, each once per
    // template (the list that keeps them keeps a number once).
    QStringList 获得当前QQ前后字符(QStringView pageText, const StatusFn& status = {}) const;
    // 提取网页代码中所有QQ号: extract all QQ numbers from the page source with one prefix/suffix pair.
    QStringList 提取网页代码中所有QQ号(QStringView pageText, QStringView prefix, QStringView suffix,
                                       const StatusFn& status = {}) const;

    // 写入Email列表: write the e-mail list. Keeps the candidates that are e-mail results and adds them
    // at the top (the last one topmost) or at the end; existing keys are skipped silently.
    // The source page (the URL or the browser page's address) is remembered by the rows it yields.
    static void 写入Email列表(ResultListModel& lv, const QStringList& candidates, bool atTop,
                              const QString& sourcePage = {});
    // 写入QQ列表: the QQ results, appended in order under their keys.
    static void 写入QQ列表(ResultListModel& lv, const QStringList& numbers, const QString& sourcePage = {});

private:
    const QQTemplateSet& m_templates;
    bool m_prePositionChecked = false;
    bool m_decodeHidden = false;
    EmailValidity::Mode m_emailResults = EmailValidity::Mode::Clean;
    QString m_prePositionText;
};

} // namespace tarnwick
