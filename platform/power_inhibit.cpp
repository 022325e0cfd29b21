#include "platform/power_inhibit.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QMutex>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

QMutex g_mutex;
PowerInhibit::Backend g_backend;

std::optional<int> LogindInhibit(const QString &why)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return std::nullopt;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:idle") << QStringLiteral("Framepress") << why << QStringLiteral("block");
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    const auto fd = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().constFirst());
    if (!fd.isValid())
        return std::nullopt;
    // The QDBusUnixFileDescriptor closes its own copy; keep one of ours.
    const int own = ::fcntl(fd.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
    return own >= 0 ? std::optional<int>(own) : std::nullopt;
}

} // namespace

PowerInhibit::~PowerInhibit() { Release(); }

bool PowerInhibit::Acquire(const QString &why)
{
    if (IsHeld())
        return true;
    Backend backend;
    {
        QMutexLocker lock(&g_mutex);
        backend = g_backend;
    }
    const std::optional<int> fd = backend ? backend(why) : LogindInhibit(why);
    if (fd && *fd >= 0)
        m_fd = *fd;
    return IsHeld();
}

void PowerInhibit::Release()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

PowerInhibit::Backend PowerInhibit::SetBackend(Backend backend)
{
    QMutexLocker lock(&g_mutex);
    std::swap(g_backend, backend);
    return backend;
}

} // namespace platform
