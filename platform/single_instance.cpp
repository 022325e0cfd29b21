#include "platform/single_instance.h"

#include "platform/native_name.h"
#include "platform/runtime_dir.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

// A request: a tag, the body's length, then the body: the count of paths, the searched name
// (UTF-8) and each path (bytes as the file system names it), every field a length and its
// bytes. All lengths 4 bytes, little-endian.
constexpr char kTag[] = "FPS1";
constexpr qsizetype kTagSize = 4;
constexpr qsizetype kHeaderSize = kTagSize + 4;
constexpr quint32 kMaxName = 1024;
// A peer that has not sent a whole request by then is cut off.
constexpr int kRequestTimeoutMs = 10000;

void AppendU32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

QByteArray Encode(const QString &searchedName, const QStringList &paths)
{
    QByteArray body;
    AppendU32(body, quint32(paths.size()));
    const QByteArray name = searchedName.toUtf8().left(kMaxName);
    AppendU32(body, quint32(name.size()));
    body += name;
    for (const QString &path : paths) {
        const QByteArray bytes = platform::NativeName(path);
        AppendU32(body, quint32(bytes.size()));
        body += bytes;
    }
    QByteArray out(kTag, kTagSize);
    AppendU32(out, quint32(body.size()));
    return out + body;
}

// Reads a body strictly: every length within what is left, the name valid UTF-8, each path
// absolute and free of NUL, nothing left over.
bool Decode(const QByteArray &body, QString &searchedName, QStringList &paths)
{
    qsizetype at = 0;
    const auto next = [&body, &at](quint32 &value) {
        if (body.size() - at < 4)
            return false;
        value = qFromLittleEndian<quint32>(body.constData() + at);
        at += 4;
        return true;
    };
    const auto field = [&](QByteArray &out, quint32 max) {
        quint32 size = 0;
        if (!next(size) || size > max || size > body.size() - at)
            return false;
        out = body.mid(at, size);
        at += size;
        return true;
    };
    quint32 count = 0;
    QByteArray name;
    if (!next(count) || count > SingleInstance::kMaxPaths || !field(name, kMaxName))
        return false;
    QStringDecoder utf8(QStringDecoder::Utf8);
    searchedName = utf8(name);
    if (utf8.hasError())
        return false;
    for (quint32 i = 0; i < count; ++i) {
        QByteArray path;
        if (!field(path, SingleInstance::kMaxRequestBytes) || !path.startsWith('/') || path.contains('\0'))
            return false;
        paths << platform::NameFromNative(path);
    }
    return at == body.size();
}

// The paths in runs that each fit one request, in order; one empty run for none.
QList<QStringList> Batches(const QStringList &paths)
{
    QList<QStringList> batches{{}};
    qsizetype bytes = 0;
    for (const QString &path : paths) {
        const qsizetype size = 4 + platform::NativeName(path).size();
        QStringList &last = batches.last();
        if (!last.isEmpty()
            && (last.size() == SingleInstance::kMaxPaths
                || bytes + size > SingleInstance::kMaxRequestBytes - kMaxName - 8)) {
            batches.append(QStringList());
            bytes = 0;
        }
        batches.last() << path;
        bytes += size;
    }
    return batches;
}

// The folder is private already; the peer's own uid, as the kernel gives it, is the last word.
bool IsSameUser(qintptr fd)
{
    ucred cred{};
    socklen_t size = sizeof cred;
    return ::getsockopt(int(fd), SOL_SOCKET, SO_PEERCRED, &cred, &size) == 0 && size == sizeof cred
           && cred.uid == ::getuid();
}

// One request and its answer over a fresh connection, within the deadline.
bool SendRequest(const QString &socketPath, const QByteArray &request, const QDeadlineTimer &deadline)
{
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
    socket.write(request);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime()))))
            return false;
    }
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            return false;
    }
    return socket.readLine().trimmed() == "1";
}

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

void SingleInstance::SetRaiseHandler(RaiseHandler handler)
{
    m_raise = std::move(handler);
    if (!m_raise)
        return;
    for (const Waiting &waiting : std::exchange(m_waiting, {})) {
        if (waiting.socket)
            Answer(waiting.socket, waiting.searchedName, waiting.paths);
    }
}

void SingleInstance::OnNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!IsSameUser(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // Whatever a peer sends beyond one request waits in the kernel, not in our memory.
        socket->setReadBufferSize(kHeaderSize + kMaxRequestBytes + 1);
        auto *timeout = new QTimer(socket);
        timeout->setSingleShot(true);
        connect(timeout, &QTimer::timeout, socket, &QLocalSocket::abort);
        timeout->start(kRequestTimeoutMs);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, timeout] {
            if (OnRequestBytes(socket))
                timeout->stop();
        });
    }
}

bool SingleInstance::OnRequestBytes(QLocalSocket *socket)
{
    if (socket->bytesAvailable() < kHeaderSize)
        return false;
    const QByteArray header = socket->peek(kHeaderSize);
    const quint32 size = qFromLittleEndian<quint32>(header.constData() + kTagSize);
    // An oversized request is refused before its body is read.
    if (!header.startsWith(QByteArray(kTag, kTagSize)) || size > kMaxRequestBytes) {
        socket->abort();
        return false;
    }
    const qint64 whole = kHeaderSize + qint64(size);
    if (socket->bytesAvailable() < whole)
        return false;
    QString searchedName;
    QStringList paths;
    socket->skip(kHeaderSize);
    // A peer sends one request and waits for the answer; more bytes mean it speaks another tongue.
    if (socket->bytesAvailable() > whole - kHeaderSize || !Decode(socket->read(size), searchedName, paths)) {
        socket->abort();
        return false;
    }
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    if (m_raise)
        Answer(socket, searchedName, paths);
    else
        m_waiting.append({socket, searchedName, paths});
    return true;
}

void SingleInstance::Answer(QLocalSocket *socket, const QString &searchedName, const QStringList &paths)
{
    const bool found = m_raise(searchedName, paths);
    socket->write(found ? "1\n" : "0\n");
    socket->flush();
    socket->disconnectFromServer();
}

bool SingleInstance::AskRunningInstance(const QString &name, const QString &searchedName, int timeoutMs,
                                        const QStringList &paths)
{
    const QString socketPath = PathFor(name, QStringLiteral(".sock"));
    if (socketPath.isEmpty())
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    bool found = true;
    for (const QStringList &batch : Batches(paths))
        found = SendRequest(socketPath, Encode(searchedName, batch), deadline) && found;
    return found;
}

} // namespace platform
