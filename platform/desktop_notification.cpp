#include "platform/desktop_notification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QDir>
#include <QMutex>
#include <QPointer>
#include <QUrl>
#include <QVariantMap>

#include <algorithm>

namespace platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = kService;
const QString kDefaultAction = QStringLiteral("default");
// All calls of one Notify together; the window thread waits at most this long.
constexpr int kBudgetMs = 3000;

QMutex g_mutex;
NotificationHandler g_handler;
QPointer<DesktopNotifier> g_lastTaken; // notifier of the latest notification the seam took

QDBusMessage Call(QDBusConnection &bus, const QDBusMessage &call, const QDeadlineTimer &deadline)
{
    const int timeoutMs = int(std::clamp<qint64>(deadline.remainingTime(), 1, kBudgetMs));
    return bus.call(call, QDBus::Block, timeoutMs);
}

bool Answered(const QDBusMessage &reply)
{
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
}

// Running, or started by the bus on the first call (some desktops start theirs on demand).
bool ServiceAvailable(QDBusConnection &bus, const QDeadlineTimer &deadline)
{
    auto ask = [&](const QString &method, const QVariantList &arguments) {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                           QStringLiteral("/org/freedesktop/DBus"),
                                                           QStringLiteral("org.freedesktop.DBus"), method);
        call.setArguments(arguments);
        return Call(bus, call, deadline);
    };
    const QDBusMessage owner = ask(QStringLiteral("NameHasOwner"), {kService});
    if (Answered(owner) && owner.arguments().constFirst().toBool())
        return true;
    const QDBusMessage activatable = ask(QStringLiteral("ListActivatableNames"), {});
    return Answered(activatable) && activatable.arguments().constFirst().toStringList().contains(kService);
}

QString IconArgument(const QString &nameOrPath)
{
    // Notification services take a theme name or a file:// address, not a bare path.
    return QDir::isAbsolutePath(nameOrPath) ? QUrl::fromLocalFile(nameOrPath).toString(QUrl::FullyEncoded) : nameOrPath;
}

} // namespace

DesktopNotifier::DesktopNotifier(QObject *parent)
    : QObject(parent)
    , m_icon(QStringLiteral("framepress"))
{
}

DesktopNotifier::~DesktopNotifier()
{
    if (m_shown.isEmpty())
        return;
    // A click on them could no longer raise anything. Sent without waiting for replies.
    QDBusConnection bus = QDBusConnection::sessionBus();
    for (const uint id : std::as_const(m_shown)) {
        QDBusMessage close =
            QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification"));
        close << id;
        bus.send(close);
    }
}

bool DesktopNotifier::Notify(const Notification &notification)
{
    NotificationHandler handler;
    {
        QMutexLocker lock(&g_mutex);
        handler = g_handler;
    }
    if (handler) {
        const bool taken = handler(notification);
        if (taken) {
            QMutexLocker lock(&g_mutex);
            g_lastTaken = this;
        }
        return taken;
    }

    const QDeadlineTimer deadline(kBudgetMs);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !ServiceAvailable(bus, deadline))
        return false;
    if (!m_listening) {
        // Before the first Notify, so that no click can come before we listen.
        bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                    SLOT(OnActionInvoked(uint, QString)));
        bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                    SLOT(OnNotificationClosed(uint, uint)));
        m_listening = true;
    }

    const QDBusMessage capabilities = Call(
        bus, QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities")), deadline);
    const bool markup = Answered(capabilities)
                        && capabilities.arguments().constFirst().toStringList().contains(QStringLiteral("body-markup"));

    QVariantMap hints{{QStringLiteral("urgency"), QVariant::fromValue<uchar>(1)}}; // normal
    if (!m_desktopEntry.isEmpty())
        hints.insert(QStringLiteral("desktop-entry"), m_desktopEntry);
    const uint replaces = m_shown.contains(m_lastId) ? m_lastId : 0;

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << QStringLiteral("Framepress") << replaces << IconArgument(m_icon) << notification.summary
         << (markup ? notification.body.toHtmlEscaped() : notification.body)
         << QStringList{kDefaultAction, QStringLiteral("Framepress")} << hints
         << qint32(-1); // the desktop's own timeout, as its user set it
    const QDBusMessage reply = Call(bus, call, deadline);
    if (!Answered(reply) || reply.arguments().constFirst().metaType() != QMetaType::fromType<uint>())
        return false;
    m_lastId = reply.arguments().constFirst().toUInt();
    m_shown.insert(m_lastId);
    return true;
}

void DesktopNotifier::OnActionInvoked(uint id, const QString &actionKey)
{
    if (actionKey == kDefaultAction && m_shown.contains(id))
        emit activated();
}

void DesktopNotifier::OnNotificationClosed(uint id, uint) { m_shown.remove(id); }

NotificationHandler SetNotificationHandler(NotificationHandler handler)
{
    QMutexLocker lock(&g_mutex);
    std::swap(g_handler, handler);
    return handler;
}

ScopedNotifications::ScopedNotifications(bool accepted)
    : m_sent(std::make_shared<QList<Notification>>())
{
    {
        QMutexLocker lock(&g_mutex);
        g_lastTaken = nullptr;
    }
    m_previous = SetNotificationHandler([sent = m_sent, accepted](const Notification &notification) {
        sent->append(notification);
        return accepted;
    });
}

ScopedNotifications::~ScopedNotifications()
{
    SetNotificationHandler(m_previous);
    QMutexLocker lock(&g_mutex);
    g_lastTaken = nullptr;
}

bool ScopedNotifications::ClickLast() const
{
    QPointer<DesktopNotifier> notifier;
    {
        QMutexLocker lock(&g_mutex);
        notifier = g_lastTaken;
    }
    if (!notifier)
        return false;
    emit notifier->activated();
    return true;
}

} // namespace platform
