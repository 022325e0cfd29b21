#include "app/startup.h"
#include "platform/single_instance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

using platform::SingleInstance;

// Two real processes: the second start ends and asks the first to come to the front.
class TstStartup : public QObject {
    Q_OBJECT
private:
    static QString Program() { return QCoreApplication::applicationDirPath() + "/framepress"; }

    // True once a running instance answers that it raised its window.
    static bool WaitForFirst(int timeoutMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            if (SingleInstance::AskRunningInstance(kInstanceMutexName, "framepress", 500))
                return true;
            QTest::qWait(100);
        }
        return false;
    }

    static void Stop(QProcess &p)
    {
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished(5000);
        }
    }

private slots:
    void secondStartEndsAndRaisesTheFirst()
    {
        QVERIFY(QFileInfo::exists(Program()));
        QVERIFY(!SingleInstance::AskRunningInstance(kInstanceMutexName, "Framepress", 200));

        QProcess first;
        first.start(Program(), {});
        QVERIFY(first.waitForStarted(5000));
        QVERIFY2(WaitForFirst(15000), "the first instance never answered");

        QProcess second;
        second.start(Program(), {});
        QVERIFY(second.waitForStarted(5000));
        QVERIFY(second.waitForFinished(15000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardOutput(), QByteArray());
        QCOMPARE(first.state(), QProcess::Running);

        // The display-name guard answers too; another name is not ours.
        QVERIFY(SingleInstance::AskRunningInstance(ReadDisplayName(), ReadDisplayName()));
        QVERIFY(!SingleInstance::AskRunningInstance(kInstanceMutexName, "Some Other App"));
        QCOMPARE(first.state(), QProcess::Running);

        // A crashed first instance leaves no lock behind: the next start is first again.
        first.kill();
        QVERIFY(first.waitForFinished(5000));
        QProcess again;
        again.start(Program(), {});
        QVERIFY(again.waitForStarted(5000));
        const bool answered = WaitForFirst(15000);
        Stop(again);
        QVERIFY(answered);
    }
};

QTEST_GUILESS_MAIN(TstStartup)
#include "tst_startup.moc"
