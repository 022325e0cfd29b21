#include "fifo_check.h"
#include "shell/app_paths.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TstAppPaths : public QObject {
    Q_OBJECT
private slots:
    void sizeText_data()
    {
        QTest::addColumn<quint64>("size");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << quint64(0) << "0 Byte";
        QTest::newRow("1024") << quint64(1024) << "1024 Byte";
        QTest::newRow("1025") << quint64(1025) << "1.1KB";
        QTest::newRow("1536: remainder, not a decimal") << quint64(1536) << "1.51KB";
        QTest::newRow("remainder of exactly 100") << quint64(1124) << "1.100KB";
        QTest::newRow("just over 2^20") << quint64((1 << 20) + 3 * 1024) << "1.3MB";
        QTest::newRow("exactly 2^20") << quint64(1 << 20) << "1024.0KB";

        QTest::newRow("2^30") << (quint64(1) << 30) << "1024.0MB";
        QTest::newRow("3.5 GiB") << (quint64(7) << 29) << "3.51GB";
    }

    void sizeText()
    {
        QFETCH(quint64, size);
        QFETCH(QString, text);
        QCOMPARE(FormatSizeText(size), text);
    }

    void fileSizeOfMissingAndRealFiles()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("clip é 'x'.bin");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(1536, 'x'));
        f.close();
        QCOMPARE(GetFileSize64(path), quint64(1536));
        QCOMPARE(FormatFileSize(path), QString("1.51KB"));
        QCOMPARE(GetFileSize64(dir.filePath("missing")), quint64(0));
        QCOMPARE(FormatFileSize(dir.filePath("missing")), QString("0 Byte"));
        QCOMPARE(GetFileNameWithExt(path), QString("clip é 'x'.bin"));
    }

    // Adding a FIFO named like a clip must not freeze the window; a link to a file is the file.
    void sizeOfOtherThanARegularFileWithoutOpeningIt()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath("x.mp4");
        QVERIFY(fifocheck::MakeFifo(fifo));
        quint64 size = 1;
        QString text;
        QVERIFY2(fifocheck::ReturnsWithoutOpening(fifo,
                                                  [&] {
                                                      size = GetFileSize64(fifo);
                                                      text = FormatFileSize(fifo);
                                                  }),
                 "the size helper opened the FIFO");
        QCOMPARE(size, quint64(0));
        QCOMPARE(text, QString("0 Byte"));

        QCOMPARE(GetFileSize64(dir.path()), quint64(0));
        const QString file = dir.filePath("real.jpg");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(1536, 'x'));
        f.close();
        QVERIFY(QFile::link(file, dir.filePath("link.jpg")));
        QCOMPARE(FormatFileSize(dir.filePath("link.jpg")), QString("1.51KB"));
    }

    void installAndResFolders()
    {
        const AppPaths p = AppPaths::Current();
        QVERIFY(p.installFolder.endsWith('/'));
        QCOMPARE(p.langFile, p.installFolder + "res/lang.opt");
        QCOMPARE(GetResFilePath("\\top_logo.png"), p.installFolder + "res/top_logo.png");
        QVERIFY(QFile::exists(p.langFile));
    }

    void defaultOutputFolderCreatedWithParents()
    {
        const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QDir(docs + "/PathTest").removeRecursively();
        const QString folder = AppPaths::DefaultOutputFolder("PathTest");
        QCOMPARE(folder, docs + "/PathTest/");
        QVERIFY(QDir(folder).exists());
        QCOMPARE(AppPaths::DefaultOutputFolder("PathTest"), folder); // existing one kept
    }

    void defaultOutputFolderNames_data()
    {
        QTest::addColumn<QString>("appName");
        QTest::addColumn<QString>("leaf");
        QTest::newRow("from the language file") << QString() << "Framepress"; // IDS_APP_NAME
        QTest::newRow("spaces and accents") << QString::fromUtf8("Mes Vidéos") << QString::fromUtf8("Mes Vidéos");
        QTest::newRow("empty") << " "
                               << "Framepress";
        QTest::newRow("parent") << ".."
                                << "Framepress";
        QTest::newRow("separator") << "a/../../b"
                                   << "Framepress";
    }

    void defaultOutputFolderNames()
    {
        QFETCH(QString, appName);
        QFETCH(QString, leaf);
        const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        const QString folder =
            appName.isNull() ? AppPaths::DefaultOutputFolder() : AppPaths::DefaultOutputFolder(appName);
        QCOMPARE(folder, docs + "/" + leaf + "/");
        QVERIFY(QDir(folder).exists());
    }
};

QTEST_MAIN(TstAppPaths)
#include "tst_app_paths.moc"
