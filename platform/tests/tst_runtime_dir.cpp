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

    // A name taken by something not ours is never used or followed: the first stand-in name
    // takes its place, every later call gets it, and so does the next start (without the
    // environment) and a second copy; it goes at exit once empty. Another user's folder at
    // the first stand-in name is passed over too.
    void takenNameLeftAlone_data()
    {
        QTest::addColumn<QString>("squatter");
        QTest::addColumn<bool>("secondTaken");
        QTest::newRow("link to a folder elsewhere") << "link" << false;
        QTest::newRow("plain file") << "file" << false;
        QTest::newRow("another user's folder") << "user" << false;
        QTest::newRow("another user's, twice") << "user" << true;
    }

    void takenNameLeftAlone()
    {
        QFETCH(QString, squatter);
        QFETCH(bool, secondTaken);
        QTemporaryDir xdg, elsewhere;
        qputenv("XDG_RUNTIME_DIR", xdg.path().toUtf8());
        const std::string taken = xdg.path().toStdString() + "/framepress";
        const auto squat = [&](const std::string &name) {
            if (squatter == "link")
                return ::symlink(elsewhere.path().toStdString().c_str(), name.c_str()) == 0;
            if (squatter == "file")
                return QFile(QString::fromStdString(name)).open(QIODevice::WriteOnly);
            return ::mkdir(name.c_str(), 0700) == 0 && ::chown(name.c_str(), 65534, 65534) == 0; // nobody
        };
        if (squatter == "user" && ::getuid() != 0)
            QSKIP("needs root to give a folder to another user");
        QVERIFY(squat(taken));
        if (secondTaken)
            QVERIFY(squat(taken + "-1"));
        const std::string expected = taken + (secondTaken ? "-2" : "-1");

        const auto dir = platform::RuntimeDir();
        QCOMPARE(dir, std::optional(expected));
        struct stat st {};
        QCOMPARE(::lstat(dir->c_str(), &st), 0);
        QVERIFY(S_ISDIR(st.st_mode));
        QCOMPARE(st.st_uid, ::getuid());
        QCOMPARE(st.st_mode & 0777, 0700u);
        QCOMPARE(platform::RuntimeDir(), dir);
        QCOMPARE(qgetenv("FRAMEPRESS_RUNTIME_DIR"), QByteArray::fromStdString(*dir));
        QVERIFY(QDir(elsewhere.path()).isEmpty());
        QVERIFY(QFileInfo(QString::fromStdString(taken)).isSymLink() == (squatter == "link"));

        // The next start finds the same folder; at exit it stays while something is in it.
        qunsetenv("FRAMEPRESS_RUNTIME_DIR");
        QCOMPARE(platform::RuntimeDir(), dir);
        QFile socket(QString::fromStdString(*dir + "/framepress-instance"));
        QVERIFY(socket.open(QIODevice::WriteOnly));
        platform::ReleaseRuntimeDir();
        QVERIFY(QFileInfo::exists(QString::fromStdString(*dir)));
        QVERIFY(socket.remove());
        platform::ReleaseRuntimeDir();
        QVERIFY(!QFileInfo::exists(QString::fromStdString(*dir)));
        QVERIFY(QFileInfo::exists(QString::fromStdString(taken)));
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
