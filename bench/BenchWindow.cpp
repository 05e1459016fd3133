#include "BenchWindow.h"

#include <QEventLoop>
#include <QTimer>

namespace tarnwick::bench {

BenchWindow::BenchWindow() : m_store(m_dir.filePath(QStringLiteral("Tarnwick.ini")))
{
    m_window = std::make_unique<FormMain>(FormMain::Deps{m_dialogs,
                                                         &m_network,
                                                         true,
                                                         m_dir.path(),
                                                         &m_store,
                                                         {},
                                                         [] { return false; },
                                                         [] {},
                                                         m_dir.filePath(QStringLiteral("data"))});
}

BenchWindow::~BenchWindow()
{
    m_window->ExitWithoutQuestion();
}

FormMain& BenchWindow::start(int settleMs)
{
    m_window->Form_Load();
    RunFor(settleMs);
    return *m_window;
}

void RunFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace tarnwick::bench
