#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

class QLocalServer;
class QLocalSocket;

namespace platform {

// The stand-in for a named mutex that tells a second start it is not the first: an exclusive
// lock file "<name>.lock" in the private runtime folder, held for the life of this object (the
// kernel drops it when the process dies, so a crash leaves no stale lock). The holder also
// listens on "<name>.sock" so that a later start can ask it to come to the front and hand it
// files. Only a peer of this user is heard, and only a whole, well-formed request of bounded
// size; anything else is closed without effect. Window thread.
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

    // Caps of one request; a later start splits its files over as many requests as needed.
    static constexpr quint32 kMaxRequestBytes = 1u << 20;
    static constexpr quint32 kMaxPaths = 10000;

    // In the first instance: called with the name a later start searched for and the files it
    // handed over (absolute paths); returns whether a window of that name was found (and
    // brought to the front). Requests that come before it is set wait for it.
    using RaiseHandler = std::function<bool(const QString &searchedName, const QStringList &paths)>;
    void SetRaiseHandler(RaiseHandler handler);

    // In a later start: asks the holder of name to raise its window called searchedName and to
    // take paths (made absolute by the caller). True when it answered that it did; false when
    // nobody listens or it did not answer within timeoutMs. Blocks the calling thread up to
    // that long.
    static bool AskRunningInstance(const QString &name, const QString &searchedName, int timeoutMs = 10000,
                                   const QStringList &paths = {});

    // "<runtime folder>/<name with unsafe characters replaced>" + suffix; empty without a
    // runtime folder.
    static QString PathFor(const QString &name, const QString &suffix);

private:
    struct Waiting {
        QPointer<QLocalSocket> socket;
        QString searchedName;
        QStringList paths;
    };
    void OnNewConnection();
    // True once the socket's whole request has been taken.
    bool OnRequestBytes(QLocalSocket *socket);
    void Answer(QLocalSocket *socket, const QString &searchedName, const QStringList &paths);

    QString m_name;
    int m_fd = -1;
    QLocalServer *m_server = nullptr;
    RaiseHandler m_raise;
    QList<Waiting> m_waiting; // whole requests that came before the handler
};

} // namespace platform
