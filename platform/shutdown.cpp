#include "platform/shutdown.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QMutex>

namespace platform {

namespace {

QMutex g_mutex;
PowerOffHandler g_handler;

PowerOffAnswer LogindPowerOff()
{
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen")
        return {false, QStringLiteral("the offscreen platform never powers off")};
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        const QString why = bus.lastError().message();
        return {false, why.isEmpty() ? QStringLiteral("the system bus cannot be reached") : why};
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PowerOff"));
    call << false; // not interactive: no password prompt
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return {true, {}};
    return {false, reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage()};
}

} // namespace

PowerOffAnswer PowerOff()
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

ScopedPowerOff::ScopedPowerOff(bool accepted, const QString &refusal)
    : m_requests(new int(0))
{
    int *requests = m_requests;
    m_previous = SetPowerOffHandler([requests, accepted, refusal] {
        ++*requests;
        return PowerOffAnswer{accepted, accepted ? QString() : refusal};
    });
}

ScopedPowerOff::~ScopedPowerOff()
{
    SetPowerOffHandler(m_previous);
    delete m_requests;
}

} // namespace platform
