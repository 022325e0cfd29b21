#include "encode/settings_store.h"
#include "platform/registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

using platform::Registry;

namespace {

const QString kApp = QStringLiteral("Framepress");
const QString kKey = QStringLiteral("software\\Framepress");

// Direct access to the stored file, as another program or an older version would leave it.
QSettings RawKey() { return QSettings(Registry::FilePathFor(kKey), QSettings::IniFormat); }

QString Raw(const QString &name) { return RawKey().value(name).toString(); }

} // namespace

class TstSettingsStore : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        const QString path = Registry::FilePathFor(kKey);
        QFile::remove(path);
        QDir(path).removeRecursively();
    }

    void firstRun()
    {
        SettingsStore store(kApp);
        MovieSettings s;
        store.Initialise(s, true);
        QVERIFY(Registry::KeyExists(kKey));

        const EncodeSettings &e = s.encode;
        QCOMPARE(e.HDFormat, QStringLiteral("mp4"));
        QCOMPARE(e.SDFormat, QStringLiteral("avi"));
        QCOMPARE(e.Preset, QStringLiteral("qvmedia_high"));
        QCOMPARE(e.HDVCodec, QStringLiteral("x264"));
        QCOMPARE(e.SDVCodec, QStringLiteral("dx50"));
        QCOMPARE(e.HDACodec, QStringLiteral("faac"));
        QCOMPARE(e.SDACodec, QStringLiteral("mp3lame"));
        QCOMPARE(e.VFps, 30.0f);
        QCOMPARE(e.HDVBitrate, 5000);
        QCOMPARE(e.SDVBitrate, 1200);
        QCOMPARE(e.VWidth, 1280);
        QCOMPARE(e.VHeight, 720);
        QCOMPARE(e.ABitrate, 128);
        QCOMPARE(e.ASamplerate, 44100);
        QVERIFY(!e.Multicore); // only a load turns it on
        QCOMPARE(s.subtitle.FontName, -1);
        QCOMPARE(s.subtitle.FontSize, 4.0f);
        QCOMPARE(s.subtitle.SubPos, 100);
        const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QCOMPARE(s.options.SaveFolder, docs + "/Framepress/");
        QVERIFY(QFileInfo(s.options.SaveFolder).isDir());

        // Stored forms.
        QCOMPARE(Raw("VFps"), QStringLiteral("30.000"));
        QCOMPARE(Raw("FontSize"), QStringLiteral("1082130432")); // 4.0f as bits
        QCOMPARE(Raw("FontName"), QStringLiteral("4294967295"));
        QCOMPARE(Raw("HDVBitrate"), QStringLiteral("5000"));
        QCOMPARE(Raw("Save Folder"), s.options.SaveFolder);

        // Every blank was written; those movie mode does not own stay blank.
        QSettings raw = RawKey();
        QCOMPARE(SettingsStore::FirstRunBlankStrings().size(), 14);
        QCOMPARE(SettingsStore::FirstRunBlankDwords().size(), 32);
        for (const QString &name : SettingsStore::FirstRunBlankStrings() + SettingsStore::FirstRunBlankDwords())
            QVERIFY2(raw.contains(name), qPrintable(name));
        QCOMPARE(Raw("Current Folder"), QString());
        QCOMPARE(Raw("VCodec"), QString());
        QCOMPARE(Raw("enable2Pass"), QStringLiteral("0"));
        QCOMPARE(Raw("Multicore"), QStringLiteral("0"));
        QCOMPARE(Raw("Vol"), QStringLiteral("0"));
    }

    void sdDefaults()
    {
        MovieSettings s;
        SettingsStore(kApp).Initialise(s, false);
        QCOMPARE(s.encode.VWidth, 720);
        QCOMPARE(s.encode.VHeight, 480);
        QCOMPARE(s.encode.Preset, QStringLiteral("qvmedia_medium"));
    }

    void reloadKeepsChangesAndTurnsMulticoreOn()
    {
        SettingsStore store(kApp);
        MovieSettings first;
        store.Initialise(first, true);
        first.encode.SDVCodec = "xvid";
        first.encode.HDVBitrate = 4000;
        first.encode.VCodecD = "Xvid MPEG-4 Vidéo";
        first.subtitle.FontSize = 3.25f;
        first.subtitle.FontName = 7;
        first.options.SaveFolder = "/tmp/sorties vidéo/";
        first.options.MinTray = 1;
        QVERIFY(store.Save(first));

        MovieSettings again;
        store.Initialise(again, true);
        MovieSettings expected = first;
        expected.encode.Multicore = true;
        QCOMPARE(again, expected);
    }

    // Vol is read but never written; VBR may be missing in older keys.
    void optionalValues_data()
    {
        QTest::addColumn<QString>("removed");
        QTest::newRow("Vol") << "Vol";
        QTest::newRow("VBR") << "VBR";
    }

    void optionalValues()
    {
        QFETCH(QString, removed);
        SettingsStore store(kApp);
        MovieSettings s;
        store.Initialise(s, true);
        {
            QSettings raw = RawKey();
            raw.setValue("HDVBitrate", 3000);
            raw.setValue("Vol", 4);
            raw.setValue("VBR", 1);
            raw.remove(removed);
        }
        MovieSettings loaded;
        QVERIFY(store.Load(loaded));
        QCOMPARE(loaded.encode.HDVBitrate, 3000);
        QVERIFY(loaded.encode.Multicore);
        QCOMPARE(loaded.encode.Vol, removed == "Vol" ? 0 : 4);
        QCOMPARE(loaded.encode.VBR, removed == "VBR" ? 0 : 1);
    }

    // Any required value missing or malformed: all defaults, written back.
    void brokenValuesFallBackToDefaults_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariant>("value"); // invalid: removed
        QTest::newRow("SDFormat deleted") << "SDFormat" << QVariant();
        QTest::newRow("Save Folder deleted") << "Save Folder" << QVariant();
        QTest::newRow("FontPath deleted") << "FontPath" << QVariant();
        QTest::newRow("VFps deleted") << "VFps" << QVariant();
        QTest::newRow("bit rate not a number") << "SDVBitrate" << QVariant("fast");
        QTest::newRow("codec longer than its field") << "HDVCodec" << QVariant(QString(20, 'x'));
        QTest::newRow("format longer than its field") << "HDFormat" << QVariant("mp4mp4mp4mp4");
    }

    void brokenValuesFallBackToDefaults()
    {
        QFETCH(QString, name);
        QFETCH(QVariant, value);
        SettingsStore store(kApp);
        MovieSettings s;
        store.Initialise(s, true);
        {
            QSettings raw = RawKey();
            raw.setValue("HDVBitrate", 3000);
            if (value.isValid())
                raw.setValue(name, value);
            else
                raw.remove(name);
        }
        MovieSettings before;
        before.encode.HDVBitrate = 77;
        MovieSettings failed = before;
        QVERIFY(!store.Load(failed));
        QCOMPARE(failed, before); // a failed load changes nothing

        MovieSettings restarted;
        store.Initialise(restarted, true);
        QCOMPARE(restarted.encode.HDVBitrate, 5000);
        QVERIFY(!restarted.encode.Multicore);
        QCOMPARE(Raw("SDFormat"), QStringLiteral("avi"));
        QVERIFY(store.Load(restarted)); // written back whole
    }

    void fieldSizeBoundary()
    {
        SettingsStore store(kApp);
        MovieSettings s;
        store.Initialise(s, true);
        RawKey().setValue("HDVCodec", QString(19, 'x'));
        QVERIFY(store.Load(s));
        QCOMPARE(s.encode.HDVCodec, QString(19, 'x'));
    }

    // A key left by an older program: the blank values only.
    void blankKeyGetsDefaults()
    {
        {
            Registry key(kKey);
            for (const QString &name : SettingsStore::FirstRunBlankStrings())
                key.WriteString(name, QString());
            for (const QString &name : SettingsStore::FirstRunBlankDwords())
                key.WriteDword(name, 0);
        }
        MovieSettings s;
        SettingsStore(kApp).Initialise(s, true);
        QCOMPARE(s.encode.HDVCodec, QStringLiteral("x264"));
        QCOMPARE(Raw("HDVCodec"), QStringLiteral("x264"));
    }

    void frameRateText_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<float>("loaded");
        QTest::addColumn<QString>("saved");
        QTest::newRow("25") << "25.000" << 25.0f << "25.000";
        QTest::newRow("NTSC") << "29.97" << 29.97f << "29.970";
        QTest::newRow("film") << "23.976" << 23.976f << "23.976";
        QTest::newRow("comma is not a point") << "25,5" << 25.0f << "25.000";
        QTest::newRow("text") << "fast" << 0.0f << "0.000";
        QTest::newRow("blank") << "" << 0.0f << "0.000";
    }

    void frameRateText()
    {
        QFETCH(QString, stored);
        QFETCH(float, loaded);
        QFETCH(QString, saved);
        SettingsStore store(kApp);
        MovieSettings s;
        store.Initialise(s, true);
        RawKey().setValue("VFps", stored);
        QVERIFY(store.Load(s));
        QCOMPARE(s.encode.VFps, loaded);
        QVERIFY(store.Save(s));
        QCOMPARE(Raw("VFps"), saved);
    }

    // The key's file cannot be written: defaults stay in use, Save says so.
    void unwritableKey()
    {
        QVERIFY(QDir().mkpath(Registry::FilePathFor(kKey))); // a folder where the file belongs
        SettingsStore store(kApp);
        MovieSettings s;
        store.Initialise(s, true);
        QCOMPARE(s.encode.HDVCodec, QStringLiteral("x264"));
        QVERIFY(!store.Save(s));
    }
};

QTEST_GUILESS_MAIN(TstSettingsStore)
#include "tst_settings_store.moc"
