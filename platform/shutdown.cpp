#include "platform/shutdown.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QMutex>

namespace platform {

namespace {

QMutex g_mutex;
PowerOffHandler g_handler;

bool LogindPowerOff()
{
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen")
        return false;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PowerOff"));
    call << false;   // not interactive: no password prompt
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

} // namespace

bool PowerOff()
{
    PowerOffHandler handler;
    {
        QMutexLocker lock(&g_mutex);
        handler = g_handler;
    }
    return handler ? handler() : LogindPowerOff();
}

PowerOffHandler SetPowerOffHandler(PowerOffHandler handler)
{
    QMutexLocker lock(&g_mutex);
    std::swap(g_handler, handler);
    return handler;
}

ScopedPowerOff::ScopedPowerOff(bool accepted)
    : m_requests(new int(0))
{
    int *requests = m_requests;
    m_previous = SetPowerOffHandler([requests, accepted] {
        ++*requests;
        return accepted;
    });
}

ScopedPowerOff::~ScopedPowerOff()
{
    SetPowerOffHandler(m_previous);
    delete m_requests;
}

} // namespace platform
