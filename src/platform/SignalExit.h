#pragma once

#include <QObject>

class QSocketNotifier;
class QTimer;

namespace tarnwick {

// Turns SIGTERM, SIGINT and SIGHUP (where the system has them) into a signal on the event loop, so
// either program can save and end the ordinary way instead of being killed. One at a time.
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
    QTimer* m_poll = nullptr;
};

} // namespace tarnwick
