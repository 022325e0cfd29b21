#include "platform/registry.h"
#include "shell/current_folder.h"
#include "shell/lang.h"

#include <QFile>
#include <QTest>

class TstCurrentFolder : public QObject {
    Q_OBJECT
private:
    static void WriteWinIni(const QByteArray &text)
    {
        QFile f(SystemIniPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

private slots:
    void cleanup() { QFile::remove(SystemIniPath()); }

    void keyComesFromTheSystemIni_data()
    {
        QTest::addColumn<QByteArray>("winIni");
        QTest::addColumn<QString>("key");
        QTest::newRow("no file") << QByteArray() << "software\\BRIVO_NAME\\DEFAULT_APP_NAME";
        QTest::newRow("no option section") << QByteArray("[fonts]\nx=1\n") << "software\\BRIVO_NAME\\DEFAULT_APP_NAME";
        QTest::newRow("named") << QByteArray("[OPTION]\nApp_Name=Studio Pro\n") << "software\\BRIVO_NAME\\Studio Pro";
    }

    void keyComesFromTheSystemIni()
    {
        QFETCH(QByteArray, winIni);
        QFETCH(QString, key);
        if (!winIni.isEmpty())
            WriteWinIni(winIni);
        QCOMPARE(CurrentFolderKey(), key);
    }

    void readsTheStoredFolder_data()
    {
        QTest::addColumn<bool>("write");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("found");
        QTest::newRow("missing value") << false << QString() << false;
        QTest::newRow("spaces and accents") << true << QString::fromUtf8("/home/u/Mes vidéos") << true;
        QTest::newRow("259 characters") << true << QString(259, QLatin1Char('a')) << true;
        QTest::newRow("260 characters is too long") << true << QString(260, QLatin1Char('a')) << false;
    }

    void readsTheStoredFolder()
    {
        QFETCH(bool, write);
        QFETCH(QString, value);
        QFETCH(bool, found);
        const QString key = CurrentFolderKey();
        QFile::remove(platform::Registry::FilePathFor(key));
        QVERIFY(!ReadCurrentFolder()); // no key at all
        {
            platform::Registry reg(key);
            reg.WriteString("Other", "x");
            if (write)
                reg.WriteString("Current Folder", value);
        }
        const auto folder = ReadCurrentFolder();
        QCOMPARE(folder.has_value(), found);
        if (found)
            QCOMPARE(*folder, value);
    }

    void nameCannotLeaveTheSettingsFolder()
    {
        WriteWinIni("[option]\nApp_Name=..\\..\\elsewhere\n");
        QVERIFY(!ReadCurrentFolder());
    }
};

QTEST_GUILESS_MAIN(TstCurrentFolder)
#include "tst_current_folder.moc"
