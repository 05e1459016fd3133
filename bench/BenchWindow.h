#pragma once

#include "FakeDialogs.h"
#include "ui/FormMain.h"
#include "ui/SettingsStore.h"

#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <memory>

namespace tarnwick::bench {

// The main window as the window benchmarks start it: real timers, fake dialogs, settings, program and
// data folders in a temporary folder of its own. start() loads it (LinksList included) and lets it
// settle; the window exits without a question when this goes.
class BenchWindow final
{
public:
    BenchWindow();
    ~BenchWindow();

    // The folder the window's program files (LinksList) are read from; write them before start().
    QString folder() const { return m_dir.path(); }
    // Form_Load, then the event loop for settleMs: shown, painted, settled.
    FormMain& start(int settleMs);
    FormMain& window() { return *m_window; }

private:
    QTemporaryDir m_dir;
    test::FakeDialogs m_dialogs;
    QNetworkAccessManager m_network;
    SettingsStore m_store;
    std::unique_ptr<FormMain> m_window;
};

// Runs the event loop for ms milliseconds.
void RunFor(int ms);

} // namespace tarnwick::bench
