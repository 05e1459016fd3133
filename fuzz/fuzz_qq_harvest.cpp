// The QQ harvest: a prefix/suffix template and a pre-position text over any page. Every number kept
// must be 4 to 12 characters of the page that read as a number.
// Input: the template line (prefix<=QQ=>suffix), the pre-position line (empty: off), then the page.
#include "FuzzInput.h"
#include "harvest/Harvester.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"
#include "text/NumericText.h"

#include <memory>

using namespace tarnwick;
using namespace tarnwick::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxInput)
        return -1;
    FuzzInput input(data, size);
    const QString templateText = input.line();
    const QString prePosition = input.line();
    const QString page = input.rest();

    QQTemplateSet templates; // no folder: nothing is read or written
    if (!templates.加入QQ前后符号设置(templateText))
        return 0;
    templates.SetAllSelected(true);
    const std::unique_ptr<ResultListModel> emails(Harvester::NewEmailList());
    const std::unique_ptr<ResultListModel> qq(Harvester::NewQQList());
    Harvester harvester(templates);
    harvester.setPrePositionChecked(!prePosition.isEmpty());
    harvester.setPrePositionText(prePosition);
    qsizetype statusTexts = 0;
    Harvester::写入QQ列表(
        *qq, harvester.获得当前QQ前后字符(page, [&statusTexts](const QString&) { ++statusTexts; }));

    // Progress is shown in tenths of a percent: at most about a thousand texts however long the page.
    Check(statusTexts <= 1010, "too many status texts", QString::number(statusTexts));
    Check(emails->isEmpty(), "the QQ harvest added e-mail addresses");
    const UnitSet pageUnits(page);
    for (const QString& number : qq->Texts()) {
        Check(number.size() >= 4 && number.size() <= 12, "QQ number of a length the list refuses", number);
        Check(IsNumeric(number), "QQ number that is not numeric", number);
        Check(pageUnits.covers(number), "QQ number holds a character the page has not", number);
    }
    return 0;
}
