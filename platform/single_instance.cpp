#include "platform/single_instance.h"

#include "platform/runtime_dir.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr qsizetype kMaxRequest = 4096;

} // namespace

QString SingleInstance::PathFor(const QString &name, const QString &suffix)
{
    const auto dir = RuntimeDir();
    if (!dir)
        return QString();
    QString safe;
    for (QChar c : name)
        safe += (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_')) ? c : QLatin1Char('_');
    // Socket paths are limited to 107 bytes: a readable head, and a hash that keeps names apart.
    const QByteArray hash = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
    const QString folder = QString::fromStdString(*dir) + QLatin1Char('/');
    const qsizetype room = 100 - QFile::encodeName(folder).size() - 9 - suffix.size();
    return folder + safe.left(std::clamp<qsizetype>(room, 0, 24)) + QLatin1Char('-') + QString::fromLatin1(hash)
           + suffix;
}

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent)
    , m_name(name)
{
}

SingleInstance::~SingleInstance() { Release(); }

SingleInstance::Result SingleInstance::Acquire()
{
    if (IsHeld())
        return Result::First;
    const QString lockPath = PathFor(m_name, QStringLiteral(".lock"));
    if (lockPath.isEmpty())
        return Result::Failed;
    const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return Result::Failed;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? Result::AlreadyRunning : Result::Failed;
    }
    m_fd = fd;

    // We hold the lock, so a socket file left here is a dead instance's.
    const QString socketPath = PathFor(m_name, QStringLiteral(".sock"));
    QLocalServer::removeServer(socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
    // Without the server a later start cannot raise us, but this start still goes on.
    if (!m_server->listen(socketPath)) {
        delete m_server;
        m_server = nullptr;
    }
    return Result::First;
}

void SingleInstance::Release()
{
    if (m_server) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void SingleInstance::OnNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxRequest)
                    socket->abort();
                return;
            }
            const QString searched = QString::fromUtf8(socket->readLine(kMaxRequest)).trimmed();
            const bool found = m_raise && m_raise(searched);
            socket->write(found ? "1\n" : "0\n");
            socket->flush();
            socket->disconnectFromServer();
        });
    }
}

bool SingleInstance::AskRunningInstance(const QString &name, const QString &searchedName, int timeoutMs)
{
    const QString socketPath = PathFor(name, QStringLiteral(".sock"));
    if (socketPath.isEmpty())
        return false;
    QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    // The first instance may hold the lock a moment before it listens: try again until the deadline.
    for (;;) {
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        if (deadline.hasExpired())
            return false;
        socket.abort();
        QThread::msleep(50);
    }
    socket.write(searchedName.toUtf8().left(kMaxRequest - 2) + '\n');
    if (!socket.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime()))))
        return false;
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            return false;
    }
    return socket.readLine().trimmed() == "1";
}

} // namespace platform
