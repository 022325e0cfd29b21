#include "platform/runtime_dir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

class TstRuntimeDir : public QObject {
    Q_OBJECT
private slots:
    void init() { qunsetenv("FRAMEPRESS_RUNTIME_DIR"); }

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

    // A name taken by something not ours is never used or followed: a private folder of
    // another name takes its place, and every later call (and the engine, through the
    // environment) gets that one.
    void takenNameLeftAlone_data()
    {
        QTest::addColumn<QString>("squatter");
        QTest::newRow("link to a folder elsewhere") << "link";
        QTest::newRow("plain file") << "file";
        QTest::newRow("another user's folder") << "user";
    }

    void takenNameLeftAlone()
    {
        QFETCH(QString, squatter);
        QTemporaryDir xdg, elsewhere;
        qputenv("XDG_RUNTIME_DIR", xdg.path().toUtf8());
        const std::string taken = xdg.path().toStdString() + "/framepress";
        if (squatter == "link") {
            QCOMPARE(::symlink(elsewhere.path().toStdString().c_str(), taken.c_str()), 0);
        } else if (squatter == "file") {
            QFile file(QString::fromStdString(taken));
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else {
            if (::getuid() != 0)
                QSKIP("needs root to give a folder to another user");
            QCOMPARE(::mkdir(taken.c_str(), 0700), 0);
            QCOMPARE(::chown(taken.c_str(), 65534, 65534), 0); // nobody
        }

        const auto dir = platform::RuntimeDir();
        QVERIFY(dir);
        QVERIFY(*dir != taken);
        QVERIFY(QString::fromStdString(*dir).startsWith(xdg.path() + "/framepress-"));
        struct stat st {};
        QCOMPARE(::lstat(dir->c_str(), &st), 0);
        QVERIFY(S_ISDIR(st.st_mode));
        QCOMPARE(st.st_uid, ::getuid());
        QCOMPARE(st.st_mode & 0777, 0700u);
        QCOMPARE(platform::RuntimeDir(), dir);
        QCOMPARE(qgetenv("FRAMEPRESS_RUNTIME_DIR"), QByteArray::fromStdString(*dir));
        QVERIFY(QDir(elsewhere.path()).isEmpty());
        QVERIFY(QFileInfo(QString::fromStdString(taken)).isSymLink() == (squatter == "link"));
    }

    // Handed down from a parent, a folder that is not private any more is not trusted.
    void inheritedFolderChecked()
    {
        QTemporaryDir xdg, loose;
        qputenv("XDG_RUNTIME_DIR", xdg.path().toUtf8());
        ::chmod(loose.path().toLocal8Bit().constData(), 0777);
        qputenv("FRAMEPRESS_RUNTIME_DIR", loose.path().toUtf8());
        const auto dir = platform::RuntimeDir();
        QVERIFY(dir);
        QCOMPARE(QString::fromStdString(*dir), xdg.path() + "/framepress");
    }

    void noFolderToBeHad()
    {
        if (::getuid() == 0)
            QSKIP("root writes into any folder");
        QTemporaryDir xdg;
        qputenv("XDG_RUNTIME_DIR", xdg.path().toUtf8());
        QFile taken(xdg.path() + "/framepress");
        QVERIFY(taken.open(QIODevice::WriteOnly));
        ::chmod(xdg.path().toLocal8Bit().constData(), 0500);
        QVERIFY(!platform::RuntimeDir());
        ::chmod(xdg.path().toLocal8Bit().constData(), 0700);
    }
};

QTEST_GUILESS_MAIN(TstRuntimeDir)
#include "tst_runtime_dir.moc"
