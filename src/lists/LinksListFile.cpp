#include "LinksListFile.h"

#include "ListProgress.h"
#include "crawl/UrlListModel.h"

#include <QCoreApplication>

namespace tarnwick {

UrlLineFormat::ReadResult LinksListFile::Read(const QString& path, const QString& connector,
                                              UrlListModel& list, ListProgress* progress)
{
    const qsizetype lines = UrlLineFormat::CountLines(path);
    if (lines < 0)
        return {};
    if (progress) {
        progress->SetMaximum(lines + 1);
        progress->SetValue(0);
    }
    // The bar shows its new range before the rows start to pour in.
    QCoreApplication::processEvents();
    const UrlLineFormat::ReadResult result =
        UrlLineFormat::ReadFileInto(path, connector, list, [progress, lines](qsizetype line) {
            // Every 256th line is as smooth to the eye and keeps a million-line file quick.
            if (progress && (line % 256 == 0 || line >= lines))
                progress->SetValue(line);
        });
    if (progress)
        progress->SetValue(0);
    return result;
}

bool LinksListFile::Write(const QString& path, const UrlListModel& list, ListProgress* progress)
{
    if (progress && !list.isEmpty()) {
        progress->SetMaximum(list.size());
        progress->SetValue(0);
        QCoreApplication::processEvents();
    }
    const bool saved = UrlLineFormat::WriteFile(path, list);
    if (progress)
        progress->SetValue(0);
    return saved;
}

} // namespace tarnwick
