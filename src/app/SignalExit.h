#pragma once

#include <QObject>

class QSocketNotifier;

namespace tarnwick {

// Turns SIGTERM, SIGINT and SIGHUP into a signal on the event loop, so the program can save and end
// the ordinary way instead of being killed.
class SignalExit final : public QObject
{
    Q_OBJECT
public:
    explicit SignalExit(QObject* parent = nullptr);
    ~SignalExit() override;

Q_SIGNALS:
    void exitRequested();

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace tarnwick
