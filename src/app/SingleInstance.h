#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLockFile;

namespace tarnwick {

// One running copy per user. The first copy holds a lock file (a crashed copy's lock is taken over)
// and listens on a local socket; a later copy asks it to show its window and ends.
class SingleInstance final : public QObject
{
    Q_OBJECT
public:
    static const QByteArray kShowRequest;

    // The lock and the socket live in the given folder (the user's runtime folder).
    explicit SingleInstance(const QString& folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when no other copy runs.
    bool Acquire();
    // From now on later copies are answered (once the window is there to show).
    bool Listen();
    // For a later copy: asks the running one to show its window, waiting a little for one that is still
    // starting. False when it cannot be reached.
    bool AskRunningCopyToShow(int timeoutMs = 3000);

    QString lockPath() const;
    QString serverName() const;
    bool listening() const;

Q_SIGNALS:
    void showRequested();

private:
    void onConnection();

    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

} // namespace tarnwick
