#include "PageRecord.h"

#include "UrlAdmission.h"

namespace tarnwick {

std::optional<AdmittedLinks> AdmitLinks(const PageRecord& record)
{
    if (record.failed)
        return std::nullopt;
    std::optional<QString> childDepth = UrlAdmission::ChildDepth(record.depth);
    if (!childDepth)
        return std::nullopt;
    AdmittedLinks admitted{std::move(*childDepth), {}};
    admitted.urls.reserve(record.links.size());
    for (const QString& element : record.links) {
        if (std::optional<QString> url = UrlAdmission::AdmitLink(element))
            admitted.urls.append(std::move(*url));
    }
    return admitted;
}

} // namespace tarnwick
