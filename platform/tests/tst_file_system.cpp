#include "platform/file_system.h"

#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

class TstFileSystem : public QObject {
    Q_OBJECT
private slots:
    // The walk up the folders must land where the mount table says the file system starts.
    void mountRootMatchesMountTable_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("root") << "/";
        QTest::newRow("proc") << "/proc/self";
        QTest::newRow("dev shm") << "/dev/shm";
        static QTemporaryDir tmp;
        QTest::newRow("temporary folder, trailing slash") << tmp.path() + "/";
    }

    void mountRootMatchesMountTable()
    {
        QFETCH(QString, folder);
        const auto space = platform::FileSystemOf(folder.toStdString());
        if (!space)
            QSKIP("not readable here");
        const QStorageInfo info(folder);
        if (info.isValid())
            QCOMPARE(QString::fromStdString(space->mountRoot), info.rootPath());
        QVERIFY(folder.startsWith(QString::fromStdString(space->mountRoot)));
        QVERIFY(space->available <= space->total || space->total == 0);
    }

    void missingPathHasNoFigures()
    {
        QVERIFY(!platform::FileSystemOf("/no/such/folder"));
        QVERIFY(!platform::FileSystemOf(""));
    }
};

QTEST_GUILESS_MAIN(TstFileSystem)
#include "tst_file_system.moc"
