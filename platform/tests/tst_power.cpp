#include "platform/power_inhibit.h"
#include "platform/shell_open.h"
#include "platform/shutdown.h"

#include <QTest>
#include <QUrl>

#include <fcntl.h>
#include <unistd.h>

using namespace platform;

namespace {

bool FdIsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

} // namespace

class TstPower : public QObject {
    Q_OBJECT
private slots:
    void powerOffGoesThroughTheSeam()
    {
        {
            ScopedPowerOff seam(true);
            QVERIFY(PowerOff());
            QVERIFY(PowerOff());
            QCOMPARE(seam.Requests(), 2);
        }
        {
            ScopedPowerOff refusing(false);
            QVERIFY(!PowerOff());
            QCOMPARE(refusing.Requests(), 1);
        }
    }

    // With no seam set, the real call refuses under the test platform instead of powering off.
    void realPowerOffRefusesUnderTests()
    {
        QCOMPARE(qgetenv("QT_QPA_PLATFORM"), QByteArray("offscreen"));
        QVERIFY(!PowerOff());
    }

    void inhibitHoldsAndReleasesItsDescriptor()
    {
        int pipeFds[2];
        QCOMPARE(::pipe(pipeFds), 0);
        ::close(pipeFds[1]);
        QString reason;
        int calls = 0;
        const auto previous = PowerInhibit::SetBackend([&](const QString &why) -> std::optional<int> {
            reason = why;
            ++calls;
            return pipeFds[0];
        });
        {
            PowerInhibit inhibit;
            QVERIFY(inhibit.Acquire("Converting 3 files"));
            QVERIFY(inhibit.Acquire("again")); // held once, not twice
            QCOMPARE(calls, 1);
            QCOMPARE(reason, QString("Converting 3 files"));
            QVERIFY(FdIsOpen(pipeFds[0]));
            inhibit.Release();
            QVERIFY(!inhibit.IsHeld());
            QVERIFY(!FdIsOpen(pipeFds[0]));
            inhibit.Release();
        }
        PowerInhibit::SetBackend([](const QString &) { return std::optional<int>(); });
        PowerInhibit refused;
        QVERIFY(!refused.Acquire("x"));
        QVERIFY(!refused.IsHeld());
        PowerInhibit::SetBackend(previous);
    }

    // The real logind call may be refused here (no system bus); either way nothing breaks.
    void realInhibitIsHarmless()
    {
        PowerInhibit inhibit;
        const bool held = inhibit.Acquire("test");
        QCOMPARE(inhibit.IsHeld(), held);
        inhibit.Release();
        QVERIFY(!inhibit.IsHeld());
    }

    void openingGoesThroughTheSeam()
    {
        QList<QUrl> opened;
        const auto previous = SetOpenUrlHandler([&opened](const QUrl &url) {
            opened << url;
            return true;
        });
        QVERIFY(OpenUrl(QUrl("https://framepress.example.org/")));
        QVERIFY(OpenFolder(QString::fromUtf8("/home/u/Documents/My Vidéos")));
        QVERIFY(!OpenFolder(QString()));
        QVERIFY(!OpenUrl(QUrl()));
        SetOpenUrlHandler(previous);
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened[1].toLocalFile(), QString::fromUtf8("/home/u/Documents/My Vidéos"));
        QVERIFY(opened[1].isLocalFile());
    }
};

QTEST_GUILESS_MAIN(TstPower)
#include "tst_power.moc"
