#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

namespace platform {

// The stand-in for a named mutex that tells a second start it is not the first: an exclusive
// lock file "<name>.lock" in the private runtime folder, held for the life of this object (the
// kernel drops it when the process dies, so a crash leaves no stale lock). The holder also
// listens on "<name>.sock" so that a later start can ask it to come to the front.
// Window thread.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Result { First, AlreadyRunning, Failed };

    explicit SingleInstance(const QString &name, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock without waiting. First: this process holds it and listens for later
    // starts. AlreadyRunning: another process holds it. Failed: no runtime folder or lock file.
    Result Acquire();
    bool IsHeld() const { return m_fd >= 0; }
    void Release();

    // In the first instance: called with the name a later start searched for; returns whether
    // a window of that name was found (and brought to the front). Until it is set, requests
    // are answered "not found".
    using RaiseHandler = std::function<bool(const QString &searchedName)>;
    void SetRaiseHandler(RaiseHandler handler) { m_raise = std::move(handler); }

    // In a later start: asks the holder of name to raise its window called searchedName.
    // True when it answered that it did; false when nobody listens or it did not answer
    // within timeoutMs. Blocks the calling thread up to that long.
    static bool AskRunningInstance(const QString &name, const QString &searchedName, int timeoutMs = 3000);

    // "<runtime folder>/<name with unsafe characters replaced>" + suffix; empty without a
    // runtime folder.
    static QString PathFor(const QString &name, const QString &suffix);

private:
    void OnNewConnection();

    QString m_name;
    int m_fd = -1;
    QLocalServer *m_server = nullptr;
    RaiseHandler m_raise;
};

} // namespace platform
