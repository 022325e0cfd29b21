#pragma once

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

namespace platform {

struct Notification {
    QString summary;
    QString body; // plain text; escaped for services that read markup
    bool operator==(const Notification &) const = default;
};

// Shows notifications through org.freedesktop.Notifications on the session bus and reports a
// click on one of its own. With no bus or no service Notify returns false, blocking for at
// most a few seconds, and nothing else happens. Its own notifications still on screen are
// closed when it is destroyed. Window thread: activated() is emitted there.
class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject *parent = nullptr);
    ~DesktopNotifier() override;

    // A theme icon name or an absolute file path; "framepress" until set.
    void SetIcon(const QString &nameOrPath) { m_icon = nameOrPath; }
    // The desktop entry the service files the notifications under (QGuiApplication's
    // desktopFileName); none until set.
    void SetDesktopEntry(const QString &name) { m_desktopEntry = name; }

    // True when the service took it (or the test seam said so). A notification of ours still
    // on screen is replaced rather than stacked.
    bool Notify(const Notification &notification);

signals:
    void activated(); // the user clicked one of ours

private slots:
    void OnActionInvoked(uint id, const QString &actionKey);
    void OnNotificationClosed(uint id, uint reason);

private:
    QString m_icon;
    QString m_desktopEntry;
    QSet<uint> m_shown; // ids the service gave us and has not closed
    uint m_lastId = 0;
    bool m_listening = false;
};

// Test seam: replaces the service for every notifier; nullptr restores it. Returns the handler
// set before.
using NotificationHandler = std::function<bool(const Notification &)>;
NotificationHandler SetNotificationHandler(NotificationHandler handler);

// For tests: records notifications instead of sending them, and answers with a fixed result,
// for its lifetime.
class ScopedNotifications {
public:
    explicit ScopedNotifications(bool accepted = true);
    ~ScopedNotifications();
    ScopedNotifications(const ScopedNotifications &) = delete;
    ScopedNotifications &operator=(const ScopedNotifications &) = delete;

    QList<Notification> Sent() const { return *m_sent; }
    // Stands for the user clicking the latest notification taken: its notifier, if it still
    // exists, emits activated(). Returns whether one did.
    bool ClickLast() const;

private:
    std::shared_ptr<QList<Notification>> m_sent;
    NotificationHandler m_previous;
};

} // namespace platform
