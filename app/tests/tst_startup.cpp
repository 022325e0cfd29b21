#include "app/startup.h"
#include "platform/single_instance.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using platform::SingleInstance;

// Real processes: a second start hands its files to the first, asks it to come to the front, ends.
class TstStartup : public QObject {
    Q_OBJECT
private:
    static QString Program() { return QCoreApplication::applicationDirPath() + "/framepress"; }

    // True once a running instance answers that it raised its window.
    static bool WaitForFirst(int timeoutMs)
    {
        return SingleInstance::AskRunningInstance(kInstanceMutexName, "framepress", timeoutMs);
    }

    // The running copy's kept list of that page names the file (written a turn after a change).
    static bool IsKept(const char *page, const QString &path)
    {
        QFile file(qEnvironmentVariable("XDG_STATE_HOME") + "/framepress/" + page + "-list.json");
        return file.open(QIODevice::ReadOnly) && file.readAll().contains('"' + path.toUtf8() + '"');
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
        QTemporaryDir media; // named relative to the later start's folder
        for (const char *name : {"a.mp4", "b.jpg"})
            QVERIFY(QFile(media.filePath(name)).open(QIODevice::WriteOnly));

        QProcess first;
        first.start(Program(), {});
        QVERIFY(first.waitForStarted(5000));
        QVERIFY2(WaitForFirst(15000), "the first instance never answered");

        QProcess second;
        second.setWorkingDirectory(media.path());
        second.start(Program(), {"a.mp4", "b.jpg"});
        QVERIFY(second.waitForStarted(5000));
        QVERIFY(second.waitForFinished(15000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardOutput() + second.readAllStandardError(), QByteArray());
        QTRY_VERIFY_WITH_TIMEOUT(IsKept("movie", media.filePath("a.mp4")), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(IsKept("image", media.filePath("b.jpg")), 15000);
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
