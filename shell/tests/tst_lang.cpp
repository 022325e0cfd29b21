#include "shell/lang.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

namespace {

QString WriteFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return QString();
    f.write(bytes);
    return path;
}

const QByteArray kProfile = "; comment line\n"
                            "[Other]\n"
                            "IDS_ONLY_OTHER=elsewhere\n"
                            "[String]\n"
                            "IDS_PLAIN=Plain text\n"
                            "  ids_spaced  =   padded value  \r\n"
                            "IDS_QUOTED=\"  kept spaces  \"\n"
                            "IDS_EMPTY=\n"
                            "IDS_TWICE=first\n"
                            "IDS_TWICE=second\n"
                            "IDS_ACCENT=Vidéo – 90°\n"
                            "IDS_JUNK_NUMBER=wide\n"
                            "IDS_NUMBER= 1280px\n"
                            "no equals sign here\n";

} // namespace

class TstLang : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { Lang::End(); }

    void profileReading_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("maxChars");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "String"
                               << "IDS_PLAIN" << 100 << "Plain text";
        QTest::newRow("section case") << "STRING"
                                      << "IDS_PLAIN" << 100 << "Plain text";
        QTest::newRow("key case and padding") << "string"
                                              << "IDS_SPACED" << 100 << "padded value";
        QTest::newRow("quotes keep inner spaces") << "String"
                                                  << "IDS_QUOTED" << 100 << "  kept spaces  ";
        QTest::newRow("empty value is not the default") << "String"
                                                        << "IDS_EMPTY" << 100 << "";
        QTest::newRow("first occurrence wins") << "String"
                                               << "IDS_TWICE" << 100 << "first";
        QTest::newRow("non-ASCII") << "String"
                                   << "IDS_ACCENT" << 100 << QString::fromUtf8("Vidéo – 90°");
        QTest::newRow("missing key") << "String"
                                     << "IDS_NOPE" << 100 << "DEF";
        QTest::newRow("key of another section") << "String"
                                                << "IDS_ONLY_OTHER" << 100 << "DEF";
        QTest::newRow("missing section") << "Nope"
                                         << "IDS_PLAIN" << 100 << "DEF";
        QTest::newRow("buffer holds a terminator") << "String"
                                                   << "IDS_PLAIN" << 6 << "Plain";
        QTest::newRow("default cut too") << "String"
                                         << "IDS_NOPE" << 3 << "DE";
        QTest::newRow("no room at all") << "String"
                                        << "IDS_PLAIN" << 0 << "";
    }

    void profileReading()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(int, maxChars);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = WriteFile(dir, "lang.opt", kProfile);
        QCOMPARE(ReadProfileString(path, section, key, "DEF", maxChars), expected);
    }

    void profileEncodingsAndMissingFile()
    {
        QTemporaryDir dir;
        const QString text = QString::fromUtf8("[String]\nIDS_X=Grüße\n");
        const QString utf8Bom = WriteFile(dir, "bom8.opt", "\xEF\xBB\xBF" + text.toUtf8());
        QByteArray utf16("\xFF\xFE", 2);
        utf16.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
        const QString utf16Bom = WriteFile(dir, "bom16.opt", utf16);
        QCOMPARE(ReadProfileString(utf8Bom, "String", "IDS_X", "", 100), QString::fromUtf8("Grüße"));
        QCOMPARE(ReadProfileString(utf16Bom, "String", "IDS_X", "", 100), QString::fromUtf8("Grüße"));
        QCOMPARE(ReadProfileString(dir.filePath("absent.opt"), "String", "IDS_X", "RE default", 100),
                 QString("RE default"));
        QCOMPARE(ReadProfileString(dir.path(), "String", "IDS_X", "a folder", 100), QString("a folder"));
    }

    void emptyFileNameReadsSystemIni()
    {
        const QString ini = SystemIniPath();
        QVERIFY(ini.startsWith(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)));
        QFile::remove(ini);
        QCOMPARE(ReadProfileString(QString(), "option", "App_Name", "DEFAULT_APP_NAME", 200),
                 QString("DEFAULT_APP_NAME"));
        QFile f(ini);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Option]\napp_name=Studio\n");
        f.close();
        QCOMPARE(ReadProfileString(QString(), "option", "App_Name", "DEFAULT_APP_NAME", 200), QString("Studio"));
        QFile::remove(ini);
    }

    void wtoi_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("junk") << "wide" << 0;
        QTest::newRow("digits") << "1280" << 1280;
        QTest::newRow("leading blanks") << " \t 720" << 720;
        QTest::newRow("trailing junk") << "12px" << 12;
        QTest::newRow("negative") << "-7" << -7;
        QTest::newRow("plus") << "+9" << 9;
        QTest::newRow("sign then blank") << "- 5" << 0;
        QTest::newRow("sign only") << "-" << 0;
        QTest::newRow("decimal") << "9.5" << 9;
        QTest::newRow("overflow") << "99999999999" << INT_MAX;
        QTest::newRow("underflow") << "-99999999999" << INT_MIN;
        QTest::newRow("int min") << "-2147483648" << INT_MIN;
        QTest::newRow("full-width digits are not digits") << QString::fromUtf8("１２") << 0;
    }

    void wtoi()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(Wtoi(text), value);
    }

    void lookupsFromAStartedFile()
    {
        QTemporaryDir dir;
        const QString path = WriteFile(dir, "lang.opt", kProfile);
        QVERIFY(Lang::Start(path));
        QCOMPARE(Lang::LoadedPath(), path);
        QCOMPARE(Lang::Get("ids_plain"), QString("Plain text"));
        QCOMPARE(Lang::Get("STRING", "IDS_PLAIN"), QString("Plain text"));
        QCOMPARE(Lang::Get("IDS_MISSING"), QString());
        QCOMPARE(Lang::GetInt("IDS_JUNK_NUMBER"), 0);
        QCOMPARE(Lang::GetInt("IDS_NUMBER"), 1280);
        QCOMPARE(Lang::GetInt("IDS_MISSING"), 0);
    }

    void missingFileGivesEmptyTexts()
    {
        QVERIFY(!Lang::Start("/nonexistent/res/lang.opt"));
        QCOMPARE(Lang::Get("IDS_APP_NAME"), QString());
        QCOMPARE(Lang::GetInt("IDS_GOPT_OUTHDIMAGE_X"), 0);
        Lang::End();
        Lang::End(); // a second end is harmless
    }

    // The shipped file beside the executable: loaded on first use, every key the program asks for.
    void shippedFileHasEveryKey()
    {
        Lang::End();
        const char *keys[] = {"IDS_APP_NAME",
                              "IDS_APP_HAN_NAME",
                              "IDS_GOPT_DEFAULT_FONT",
                              "IDS_GOPT_DEFAULT_FONTSIZE",
                              "IDS_GOPT_BIGBTN_FONTSIZE",
                              "IDS_GOPT_HOMEPAGE",
                              "IDS_GOPT_HOMEPAGE_HELP",
                              "IDS_MESSAGEBOX_CONVERTING",
                              "IDS_MESSAGEBOX_CONVET_EXIT",
                              "IDS_MESSAGEBOX_INFO",
                              "IDS_BTN_MAIN_ADDFILE",
                              "IDS_BTN_MAIN_DELFILE",
                              "IDS_BTN_MAIN_OPTION",
                              "IDS_BTN_MAIN_CONVERT",
                              "IDS_BTN_MAIN_CANCEL",
                              "IDS_BTN_MAIN_PAUSE",
                              "IDS_BTN_MAIN_RESUME",
                              "IDS_BTN_MAIN_ORIFILEDEL",
                              "IDS_BTN_MAIN_SYSTEMOFF",
                              "IDS_RD_HD",
                              "IDS_RD_SD",
                              "IDS_CURRENT_TITLE",
                              "IDS_TIME_TITLE",
                              "IDS_TOTAL_TITLE",
                              "IDS_STR_SPEED",
                              "IDS_LIST_COL_1",
                              "IDS_LIST_COL_2",
                              "IDS_LIST_COL_3",
                              "IDS_STATUS_POSSIBLE",
                              "IDS_STATUS_ADD",
                              "IDS_STATUS_CONVERT",
                              "IDS_STATUS_FAIL",
                              "IDS_STATUS_COMPLATE",
                              "IDS_SUPPORT_FILES",
                              "IDS_SUPPORT_IMAGE_FILES",
                              "IDS_SUPPORT_IFORMAT_STR",
                              "IDS_SUPPORT_VFORMAT_STR",
                              "IDS_MESSAGEBOX_FILE_SUPPORT",
                              "IDS_MESSAGEBOX_NO_FILE",
                              "IDS_MESSAGEBOX_DELETE",
                              "IDS_MESSAGEBOX_CANCEL",
                              "IDS_MESSAGEBOX_CONVERT_END",
                              "IDS_MESSAGEBOX_CONVERT_INFO",
                              "IDS_MESSAGEBOX_CONVERT_NO",
                              "IDS_ERR_ENGINE_CREATE_FAIL",
                              "IDS_WORD_ERROR",
                              "IDS_GOPT_OUTHDIMAGE_X",
                              "IDS_GOPT_OUTHDIMAGE_Y",
                              "IDS_GOPT_OUTSDIMAGE_X",
                              "IDS_GOPT_OUTSDIMAGE_Y",
                              "IDS_OPT_SAVEFOLDER",
                              "IDS_OPT_USEIMAGEROTATE",
                              "IDS_OPT_ROTATE90",
                              "IDS_OPT_ROTATE180",
                              "IDS_OPT_ROTATE270",
                              "IDS_ETC_TAB_NAME",
                              "IDS_DIALOG_CONVERTER_INFO",
                              "IDS_BTN_OPTION_APPLY",
                              "IDS_BTN_OPTION_CANCEL",
                              "IDS_BTN_OPTION_FOLDER_SEL",
                              "IDS_DRV_NAME",
                              "IDS_DRIVE_TOTAL_SIZE",
                              "IDS_USE_SIZE",
                              "IDS_AVAILABLE_SIZE",
                              "IDS_IN_USE",
                              "IDS_AVAILA_SIZE"};
        QCOMPARE(std::size(keys), size_t(66));
        for (const char *key : keys)
            QVERIFY2(!Lang::Get(QString::fromLatin1(key)).isEmpty(), key);
        QVERIFY(Lang::LoadedPath().endsWith("res/lang.opt"));
        QCOMPARE(Lang::Get("IDS_APP_NAME"), QString("Framepress"));
        QCOMPARE(Lang::GetInt("IDS_GOPT_OUTHDIMAGE_X"), 1280);
        QCOMPARE(Lang::GetInt("IDS_GOPT_OUTSDIMAGE_Y"), 480);
    }

    // The image worker and the window thread look texts up at once, also on the very first use.
    void concurrentLookups()
    {
        for (int round = 0; round < 20; ++round) {
            Lang::End();
            std::atomic_int wrong{0};
            std::vector<std::thread> threads;
            for (int t = 0; t < 4; ++t) {
                threads.emplace_back([&wrong] {
                    for (int i = 0; i < 200; ++i) {
                        if (Lang::Get("IDS_TOTAL_TITLE").isEmpty() || Lang::Get("IDS_CURRENT_TITLE").isEmpty())
                            ++wrong;
                    }
                });
            }
            for (auto &t : threads)
                t.join();
            QCOMPARE(wrong.load(), 0);
        }
    }
};

QTEST_GUILESS_MAIN(TstLang)
#include "tst_lang.moc"
