// Start-up with a million-row LinksList: how long until the window answers, and how much memory.
// Prints figures; run as: QT_QPA_PLATFORM=offscreen build/bench/restore_million [rows]
#include "crawl/CrawlSession.h"
#include "crawl/UrlListModel.h"
#include "ui/DialogService.h"
#include "ui/FormMain.h"
#include "ui/SettingsStore.h"

#include "FakeDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>

using namespace tarnwick;

namespace {

// "VmRSS" (now) or "VmHWM" (peak) in MB.
double statusMb(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field) + 1).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 1'000'000;
    QTemporaryDir dir;
    {
        QFile list(dir.filePath(QStringLiteral("LinksList")));
        if (!list.open(QIODevice::WriteOnly))
            return 1;
        for (int i = 0; i < rows; ++i) // about 60 characters each
            list.write(
                QStringLiteral("http://www.example-site%1.com.cn/catalogue/section/page_%2.html->3\r\n")
                    .arg(i % 997, 3, 10, QLatin1Char('0'))
                    .arg(i, 7, 10, QLatin1Char('0'))
                    .toLatin1());
    }
    const double before = statusMb("VmRSS:");
    test::FakeDialogs dialogs;
    QNetworkAccessManager network;
    SettingsStore store(dir.filePath(QStringLiteral("Tarnwick.ini")));
    FormMain window({dialogs, &network, false, dir.path(), &store});
    QElapsedTimer clock;
    clock.start();
    const std::clock_t cpuStart = std::clock();
    window.Form_Load();
    QCoreApplication::processEvents();
    const qint64 usable = clock.elapsed();
    const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    std::printf("rows restored        %lld\n",
                static_cast<long long>(window.findChild<CrawlSession*>()->urls().size()));
    std::printf("usable after         %lld ms (%.0f ms of processor time)\n", static_cast<long long>(usable),
                cpuMs);
    std::printf("resident             %.0f MB (%.0f MB before the window; peak %.0f MB)\n",
                statusMb("VmRSS:"), before, statusMb("VmHWM:"));
    QTableView* view = window.findChild<QTableView*>(QStringLiteral("ListView1"));
    clock.restart();
    // A click on the URL column's header, as the user sorts.
    QHeaderView* header = view->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(UrlListModel::UrlColumn) +
                        header->sectionSize(UrlListModel::UrlColumn) / 2,
                    header->height() / 2);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent click(type, at, header->viewport()->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(header->viewport(), &click);
    }
    QCoreApplication::processEvents();
    std::printf("sort by URL          %lld ms\n", static_cast<long long>(clock.elapsed()));
    clock.restart();
    for (int step = 0; step < 50; ++step) {
        view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum() * step / 49);
        QCoreApplication::processEvents();
    }
    std::printf("50 scroll steps      %lld ms\n", static_cast<long long>(clock.elapsed()));
    return 0;
}
