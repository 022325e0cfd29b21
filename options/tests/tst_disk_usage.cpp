#include "options/disk_usage.h"
#include "options/folder_choice.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TestDiskUsage : public QObject {
    Q_OBJECT
private slots:
    void formatDiskSize_data();
    void formatDiskSize();
    void percentages_data();
    void percentages();
    void readsExistingFolderOnly();
    void browserAnswers_data();
    void browserAnswers();
};

void TestDiskUsage::formatDiskSize_data()
{
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<QString>("text");
    const quint64 mb = 1ull << 20;
    QTest::newRow("zero") << quint64(0) << "0 MB";
    QTest::newRow("below a megabyte") << mb - 1 << "0 MB";
    QTest::newRow("1000 MB") << 1000 * mb << "1000 MB";
    QTest::newRow("1023 MB") << 1023 * mb + mb - 1 << "1023 MB";
    QTest::newRow("1024 MB") << 1024 * mb << "1.0 GB";
    QTest::newRow("1536 MB") << 1536 * mb << "1.5 GB";
    QTest::newRow("1075 MB rounds up on the tens") << 1075 * mb << "1.1 GB";
    QTest::newRow("1073 MB") << 1073 * mb << "1.0 GB";
    QTest::newRow("2047 MB carries into the gigabytes") << 2047 * mb << "2.0 GB";
    QTest::newRow("1998 MB carries") << 1998 * mb << "2.0 GB";
    QTest::newRow("1973 MB shows .9") << 1973 * mb << "1.9 GB";
    QTest::newRow("1 TB drive") << quint64(1000204886016) << "931.5 GB";
    QTest::newRow("largest count") << ~quint64(0) << "17179869184.0 GB";
}

void TestDiskUsage::formatDiskSize()
{
    QFETCH(quint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(FormatDiskSize(bytes), text);
}

void TestDiskUsage::percentages_data()
{
    QTest::addColumn<quint64>("total");
    QTest::addColumn<quint64>("free");
    QTest::addColumn<quint64>("usedPercent");
    QTest::addColumn<quint64>("freePercent");
    QTest::newRow("a third used, rounded down") << quint64(3) << quint64(2) << quint64(33) << quint64(66);
    QTest::newRow("full") << quint64(1000) << quint64(0) << quint64(100) << quint64(0);
    QTest::newRow("empty") << quint64(1000) << quint64(1000) << quint64(0) << quint64(100);
    QTest::newRow("no size at all") << quint64(0) << quint64(0) << quint64(0) << quint64(0);
    QTest::newRow("huge, no overflow") << quint64(10000000000000000000ull) << quint64(2500000000000000000ull)
                                       << quint64(75) << quint64(25);
}

void TestDiskUsage::percentages()
{
    QFETCH(quint64, total);
    QFETCH(quint64, free);
    DiskUsage usage;
    usage.total = total;
    usage.free = free;
    QTEST(usage.UsedPercent(), "usedPercent");
    QTEST(usage.FreePercent(), "freePercent");
    QCOMPARE(usage.Used() + usage.Available(), total);
}

void TestDiskUsage::readsExistingFolderOnly()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::optional<DiskUsage> usage = ReadDiskUsage(dir.path() + "/");
    QVERIFY(usage);
    QVERIFY(usage->total > 0);
    QVERIFY(usage->free <= usage->total);
    QVERIFY(dir.path().startsWith(usage->root));

    QVERIFY(!ReadDiskUsage(dir.path() + "/missing/"));
    QVERIFY(!ReadDiskUsage(QString()));
    QFile file(dir.filePath("plain file"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(!ReadDiskUsage(file.fileName()));
}

void TestDiskUsage::browserAnswers_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("folder"); // empty: nothing chosen
    QTest::newRow("cancelled") << QString() << QString();
    QTest::newRow("not a file-system path") << "Video" << QString();
    QTest::newRow("root") << "/"
                          << "/";
    QTest::newRow("folder") << "/srv/Video"
                            << "/srv/Video/";
    QTest::newRow("doubled slashes") << "/srv//Video///"
                                     << "/srv/Video/";
    QTest::newRow("spaces and letters") << "/home/a/Mes vidéos «x»"
                                        << "/home/a/Mes vidéos «x»/";
    const QString longest = "/" + QString(kMaxSaveFolderChars - 2, 'a');
    QTest::newRow("fits the stored buffer") << longest << longest + "/";
    QTest::newRow("too long to store") << longest + "a" << QString();
}

void TestDiskUsage::browserAnswers()
{
    QFETCH(QString, answer);
    QFETCH(QString, folder);
    ScriptedFolderBrowser browser({answer});
    const std::optional<QString> picked = BrowseForFolder(nullptr, "/start/here/");
    QCOMPARE(browser.StartFolders(), QList<QString>{"/start/here/"});
    QCOMPARE(picked.value_or(QString()), folder);
}

QTEST_GUILESS_MAIN(TestDiskUsage)
#include "tst_disk_usage.moc"
