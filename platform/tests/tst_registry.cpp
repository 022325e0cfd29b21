#include "platform/registry.h"

#include <QFile>
#include <QStandardPaths>
#include <QTest>

using platform::Registry;

class TstRegistry : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QFile::remove(Registry::FilePathFor(QStringLiteral("software\\RegTest")));
        QFile::remove(Registry::FilePathFor(QStringLiteral("software\\Brand\\Sub")));
    }

    void keyMapsToIniFile()
    {
        const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        QCOMPARE(Registry::FilePathFor(QStringLiteral("software\\RegTest")), base + "/RegTest.ini");
        QCOMPARE(Registry::FilePathFor(QStringLiteral("software\\Brand\\Sub")), base + "/Brand/Sub.ini");
    }

    void keyExistsOnlyAfterFirstWrite()
    {
        const QString key = QStringLiteral("software\\Brand\\Sub");
        QVERIFY(!Registry::KeyExists(key));
        {
            Registry reg(key);
            QVERIFY(!reg.ReadString("Current Folder"));
            QVERIFY(reg.WriteString("Current Folder", "/home/ü ser/Vidéos, \"x\""));
        }
        QVERIFY(Registry::KeyExists(key));
        Registry again(key);
        QCOMPARE(again.ReadString("Current Folder").value_or("missing"), QString("/home/ü ser/Vidéos, \"x\""));
    }

    void dwordsRoundTripAndRefuseText()
    {
        {
            Registry reg(QStringLiteral("software\\RegTest"));
            QVERIFY(reg.WriteDword("VBitrate", 5000));
            QVERIFY(reg.WriteDword("FontName", 0xFFFFFFFFu));
            QVERIFY(reg.WriteString("Name", "x264"));
            QVERIFY(reg.WriteString("Save Folder", ""));
        }
        Registry reg(QStringLiteral("software\\RegTest"));
        QCOMPARE(reg.ReadDword("VBitrate").value_or(0), 5000u);
        QCOMPARE(reg.ReadDword("FontName").value_or(0), 0xFFFFFFFFu);
        QVERIFY(!reg.ReadDword("Name")); // text is not a number
        QVERIFY(!reg.ReadDword("Missing"));
        QCOMPARE(reg.ReadString("Save Folder").value_or("missing"), QString());
    }

    void handWrittenNegativeAndOutOfRange()
    {
        const QString path = Registry::FilePathFor(QStringLiteral("software\\RegTest"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[General]\nneg=-1\nbig=99999999999\nblank=\n");
        f.close();
        Registry reg(QStringLiteral("software\\RegTest"));
        QCOMPARE(reg.ReadDword("neg").value_or(0), 0xFFFFFFFFu);
        QVERIFY(!reg.ReadDword("big"));
        QVERIFY(!reg.ReadDword("blank"));
    }
};

QTEST_GUILESS_MAIN(TstRegistry)
#include "tst_registry.moc"
