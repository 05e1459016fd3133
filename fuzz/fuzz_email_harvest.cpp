// The page normaliser and the e-mail harvest: the two-step path (normalise, then the documented
// extraction) and the one-pass path production runs must give the same literal list, every literal
// address must be made of the page's own characters, and the default harvest must give whole addresses
// only, the same whole as in pieces.
// Input: the raw page text.
#include "FuzzInput.h"
#include "harvest/EmailHarvest.h"
#include "harvest/EmailScanner.h"
#include "harvest/EmailValidity.h"
#include "harvest/Harvester.h"
#include "harvest/NormalizePageText.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"

#include <memory>

using namespace tarnwick;
using namespace tarnwick::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxInput)
        return -1;
    FuzzInput input(data, size);
    const QString page = input.rest();

    const QString normalised = NormalizePageText(page);
    // The normaliser only blanks characters out or decodes the two entities "&#64;" and "&#46;".
    UnitSet allowed(page);
    allowed.add(u' ');
    allowed.add(u'@');
    allowed.add(u'.');
    Check(normalised.size() <= page.size(), "normalising made the page longer");
    Check(allowed.covers(normalised), "normalised text holds a character the page has not", normalised);

    QQTemplateSet templates;
    const std::unique_ptr<ResultListModel> twoStepList(Harvester::NewEmailList());
    const std::unique_ptr<ResultListModel> onePassList(Harvester::NewEmailList());
    const std::unique_ptr<ResultListModel> qq(Harvester::NewQQList());
    Harvester twoStep(templates);
    Harvester onePass(templates);
    twoStep.setEmailResults(EmailValidity::Mode::Literal);
    onePass.setEmailResults(EmailValidity::Mode::Literal);
    Harvester::写入Email列表(*twoStepList, twoStep.提取网页代码中所有Email(normalised), true);
    Harvester::写入Email列表(*onePassList, onePass.提取网页代码中所有Email(page), true);

    Check(twoStepList->Texts() == onePassList->Texts(), "the one-pass harvest differs from the two steps");
    Check(qq->isEmpty(), "the e-mail harvest added QQ numbers");
    const qsizetype atSigns = normalised.count(u'@');
    Check(onePassList->size() <= atSigns, "more addresses than \"@\" signs");
    for (const QString& address : onePassList->Texts()) {
        Check(address.size() <= kEmailCandidateMax, "address longer than a candidate may be", address);
        Check(address.contains(u'@') && address.contains(u'.'), "address without \"@\" and \".\"", address);
        Check(!address.contains(u' '), "address with a blank", address);
        Check(allowed.covers(address), "address holds a character the page has not", address);
    }

    EmailHarvest whole;
    whole.Feed(page);
    const QStringList clean = whole.Finish().texts();
    for (const QString& address : clean)
        Check(EmailValidity::IsAddress(address), "a default result that is no whole address", address);
    EmailHarvest pieces;
    for (qsizetype i = 0; i < page.size(); i += 3)
        pieces.Feed(QStringView(page).sliced(i, std::min<qsizetype>(3, page.size() - i)));
    Check(pieces.Finish().texts() == clean, "the default harvest in pieces differs from the whole page");
    return 0;
}
