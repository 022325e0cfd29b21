#include "platform/desktop_notification.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QMutex>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

using namespace platform;

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = kService;
const char *const kWithoutBus = "--notify-without-bus";
constexpr qint64 kBoundMs = 5000; // generous: the notifier's own budget is 3 s

struct ServiceCall {
    QString app;
    uint replaces = 0;
    QString icon;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
    int timeout = 0;
};

} // namespace

// A desktop's notification service, on a connection and thread of its own so that it answers
// while the notifier blocks the test thread in its calls.
class TestService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    enum class Mode { Accept, Refuse, Silent };
    std::atomic<Mode> mode{Mode::Accept};
    std::atomic_bool markup{false};

    QList<ServiceCall> Calls() const
    {
        QMutexLocker lock(&m_mutex);
        return m_calls;
    }
    QList<uint> Closed() const
    {
        QMutexLocker lock(&m_mutex);
        return m_closed;
    }
    void Reset()
    {
        QMutexLocker lock(&m_mutex);
        m_calls.clear();
        m_closed.clear();
        mode = Mode::Accept;
        markup = false;
        m_lastId = 40;
    }

public slots:
    QStringList GetCapabilities()
    {
        QStringList capabilities{QStringLiteral("actions"), QStringLiteral("body")};
        if (markup)
            capabilities << QStringLiteral("body-markup");
        return capabilities;
    }

    uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &hints, int timeout)
    {
        QMutexLocker lock(&m_mutex);
        m_calls.append({app, replaces, icon, summary, body, actions, hints, timeout});
        if (mode == Mode::Refuse)
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("refused"));
        else if (mode == Mode::Silent)
            setDelayedReply(true); // and never answer
        return replaces ? replaces : ++m_lastId;
    }

    void CloseNotification(uint id)
    {
        QMutexLocker lock(&m_mutex);
        m_closed.append(id);
    }

private:
    mutable QMutex m_mutex;
    QList<ServiceCall> m_calls;
    QList<uint> m_closed;
    uint m_lastId = 40;
};

class TstDesktopNotification : public QObject {
    Q_OBJECT
public:
    ~TstDesktopNotification() override
    {
        m_thread.quit();
        m_thread.wait();
    }

private:
    void Emit(QDBusConnection bus, const QString &name, const QVariantList &arguments)
    {
        QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, name);
        signal.setArguments(arguments);
        QVERIFY(bus.send(signal));
    }

    QDBusConnection m_bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "service");
    TestService *m_service = nullptr; // lives on m_thread
    QThread m_thread;

private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("FRAMEPRESS_PRIVATE_BUS"),
                 "needs a private session bus: run through ctest (dbus-run-session)");
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        QVERIFY(m_bus.isConnected());
        m_service = new TestService;
        m_service->moveToThread(&m_thread);
        connect(&m_thread, &QThread::finished, m_service, &QObject::deleteLater);
        m_thread.start();
        QVERIFY(m_bus.registerObject(kPath, m_service, QDBusConnection::ExportAllSlots));
    }

    void init()
    {
        m_service->Reset();
        QVERIFY(m_bus.registerService(kService));
    }

    void cleanup()
    {
        // A round trip on the notifiers' connection: whatever a gone notifier sent (its closes)
        // has reached the service before the next test resets it.
        QDBusConnection::sessionBus().call(
            QDBusMessage::createMethodCall(kService, kPath, QStringLiteral("org.freedesktop.Notifications"),
                                           QStringLiteral("GetCapabilities")),
            QDBus::Block, kBoundMs);
        m_bus.unregisterService(kService);
    }

    void notificationReachesTheService_data()
    {
        QTest::addColumn<bool>("markup");
        QTest::addColumn<QString>("body");
        QTest::newRow("plain service") << false << "2 failed: a&b <1>.mp4";
        QTest::newRow("markup service") << true << "2 failed: a&amp;b &lt;1&gt;.mp4";
    }
    void notificationReachesTheService()
    {
        QFETCH(bool, markup);
        QFETCH(QString, body);
        m_service->markup = markup;
        DesktopNotifier notifier;
        notifier.SetDesktopEntry("framepress");
        QVERIFY(notifier.Notify({"Conversion finished", "2 failed: a&b <1>.mp4"}));
        notifier.SetIcon("/opt/Frame press/res/framepress.png");
        QVERIFY(notifier.Notify({"again", "b"}));

        const QList<ServiceCall> calls = m_service->Calls();
        QCOMPARE(calls.size(), 2);
        QCOMPARE(calls[0].app, QString("Framepress"));
        QCOMPARE(calls[0].summary, QString("Conversion finished"));
        QCOMPARE(calls[0].body, body);
        QCOMPARE(calls[0].icon, QString("framepress"));
        QCOMPARE(calls[0].replaces, 0u);
        QCOMPARE(calls[0].timeout, -1);
        QVERIFY(calls[0].actions.size() % 2 == 0); // key, label pairs
        QCOMPARE(calls[0].actions.value(0), QString("default"));
        QCOMPARE(calls[0].hints.value("desktop-entry").toString(), QString("framepress"));
        // The second replaces the first, still on screen, instead of stacking under it.
        QCOMPARE(calls[1].replaces, 41u);
        QCOMPARE(calls[1].icon, QString("file:///opt/Frame%20press/res/framepress.png"));
    }

    // Two notifiers share the bus (one per page): each reacts only to a click on its own
    // notification, only to "default", only from the service, and only while it is shown.
    void clicksReachOnlyTheirNotifier()
    {
        auto first = std::make_unique<DesktopNotifier>();
        auto second = std::make_unique<DesktopNotifier>();
        QSignalSpy firstSpy(first.get(), &DesktopNotifier::activated);
        QSignalSpy secondSpy(second.get(), &DesktopNotifier::activated);
        QVERIFY(first->Notify({"a", "1"}));
        QVERIFY(second->Notify({"b", "2"}));
        const uint firstId = 41, secondId = 42;

        Emit(m_bus, "ActionInvoked", {99u, "default"});
        Emit(m_bus, "ActionInvoked", {firstId, "other"});
        QDBusConnection stranger = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "stranger");
        Emit(stranger, "ActionInvoked", {firstId, "default"});
        // A round trip: the bus has routed the stranger's signal before the service's next one.
        stranger.call(QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                     "org.freedesktop.DBus", "GetId"));
        Emit(m_bus, "ActionInvoked", {firstId, "default"});
        QVERIFY(firstSpy.wait(kBoundMs));
        QCOMPARE(firstSpy.count(), 1);
        QCOMPARE(secondSpy.count(), 0);

        // Closed, then clicked late: ignored. The second's click marks the end of the sequence.
        Emit(m_bus, "NotificationClosed", {firstId, 2u});
        Emit(m_bus, "ActionInvoked", {firstId, "default"});
        Emit(m_bus, "ActionInvoked", {secondId, "default"});
        QVERIFY(secondSpy.wait(kBoundMs));
        QCOMPARE(firstSpy.count(), 1);

        QVERIFY(first->Notify({"a", "3"}));
        QVERIFY(second->Notify({"b", "4"}));
        QCOMPARE(m_service->Calls().value(2).replaces, 0u); // nothing of the first's shown
        QCOMPARE(m_service->Calls().value(3).replaces, secondId);

        // Gone notifiers close what they still show.
        first.reset();
        second.reset();
        QTRY_COMPARE_WITH_TIMEOUT(m_service->Closed().size(), 2, kBoundMs);
        QList<uint> closed = m_service->Closed();
        std::sort(closed.begin(), closed.end());
        QCOMPARE(closed, QList<uint>({secondId, 43u}));
    }

    void failureReturnsFalseSoon_data()
    {
        QTest::addColumn<bool>("registered");
        QTest::addColumn<int>("mode");
        QTest::newRow("no service") << false << int(TestService::Mode::Accept);
        QTest::newRow("refused") << true << int(TestService::Mode::Refuse);
        QTest::newRow("never answered") << true << int(TestService::Mode::Silent);
    }
    void failureReturnsFalseSoon()
    {
        QFETCH(bool, registered);
        QFETCH(int, mode);
        if (!registered)
            QVERIFY(m_bus.unregisterService(kService));
        m_service->mode = TestService::Mode(mode);
        DesktopNotifier notifier;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!notifier.Notify({"a", "b"}));
        QVERIFY2(timer.elapsed() < kBoundMs, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(m_service->Calls().size(), registered ? 1 : 0);

        // The same notifier works once the service does (started late, say).
        m_service->mode = TestService::Mode::Accept;
        if (!registered)
            QVERIFY(m_bus.registerService(kService));
        QVERIFY(notifier.Notify({"a", "b"}));
        QCOMPARE(m_service->Calls().constLast().replaces, 0u);
    }

    // With DBUS_SESSION_BUS_ADDRESS pointing nowhere; in a child, since a process connects to
    // its session bus once.
    void noBusAtAll()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.filePath("no-bus"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {kWithoutBus});
        QVERIFY(child.waitForFinished(60000));
        const QByteArray out = child.readAllStandardOutput();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 out + child.readAllStandardError());
        bool isNumber = false;
        const qint64 elapsed = out.trimmed().toLongLong(&isNumber);
        QVERIFY2(isNumber && elapsed < kBoundMs, out);
    }

    void seamRecordsWithoutTheBus()
    {
        auto notifier = std::make_unique<DesktopNotifier>();
        QSignalSpy activated(notifier.get(), &DesktopNotifier::activated);
        {
            ScopedNotifications recorder;
            QVERIFY(!recorder.ClickLast());
            QVERIFY(notifier->Notify({"done", "4 converted"}));
            {
                ScopedNotifications refusing(false);
                QVERIFY(!notifier->Notify({"inner", ""}));
                QCOMPARE(refusing.Sent().size(), 1);
            }
            QVERIFY(notifier->Notify({"done", "5 converted"}));
            QCOMPARE(recorder.Sent(), QList<Notification>({{"done", "4 converted"}, {"done", "5 converted"}}));
            QVERIFY(recorder.ClickLast());
            QCOMPARE(activated.count(), 1);
            notifier.reset();
            QVERIFY(!recorder.ClickLast());
        }
        QCOMPARE(m_service->Calls().size(), 0);
        DesktopNotifier real;
        QVERIFY(real.Notify({"real", ""}));
        QCOMPARE(m_service->Calls().size(), 1);
    }
};

// The child of noBusAtAll: prints how long Notify took; exits 0 when it returned false.
static int NotifyWithoutBus()
{
    DesktopNotifier notifier;
    QElapsedTimer timer;
    timer.start();
    const bool sent = notifier.Notify({"a", "b"});
    printf("%lld\n", static_cast<long long>(timer.elapsed()));
    return sent ? 1 : 0;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], kWithoutBus) == 0)
        return NotifyWithoutBus();
    TstDesktopNotification test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktop_notification.moc"
