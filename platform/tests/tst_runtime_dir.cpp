#include "platform/runtime_dir.h"

#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

class TstRuntimeDir : public QObject {
    Q_OBJECT
private slots:
    void createdPrivate()
    {
        QTemporaryDir xdg;
        qputenv("XDG_RUNTIME_DIR", xdg.path().toUtf8());
        const auto dir = platform::RuntimeDir();
        QVERIFY(dir);
        QCOMPARE(QString::fromStdString(*dir), xdg.path() + "/framepress");
        struct stat st {};
        QCOMPARE(::stat(dir->c_str(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0700u);
    }

    void looseModeIsTightened()
    {
        QTemporaryDir xdg;
        qputenv("XDG_RUNTIME_DIR", xdg.path().toUtf8());
        const std::string dir = xdg.path().toStdString() + "/framepress";
        QCOMPARE(::mkdir(dir.c_str(), 0777), 0);
        ::chmod(dir.c_str(), 0777);
        QVERIFY(platform::RuntimeDir());
        struct stat st {};
        ::stat(dir.c_str(), &st);
        QCOMPARE(st.st_mode & 0777, 0700u);
    }

    void symlinkRefused()
    {
        QTemporaryDir xdg, elsewhere;
        qputenv("XDG_RUNTIME_DIR", xdg.path().toUtf8());
        const std::string link = xdg.path().toStdString() + "/framepress";
        QCOMPARE(::symlink(elsewhere.path().toStdString().c_str(), link.c_str()), 0);
        QVERIFY(!platform::RuntimeDir());
    }
};

QTEST_GUILESS_MAIN(TstRuntimeDir)
#include "tst_runtime_dir.moc"
