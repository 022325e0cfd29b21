#include "image/image_intake.h"
#include "shell/lang.h"
#include "test_pictures.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TestImageIntake : public QObject {
    Q_OBJECT

private slots:
    void dropStopsAtFolderOrRefusal();
    void boxesFromLanguageFile();
};

void TestImageIntake::dropStopsAtFolderOrRefusal()
{
    QTemporaryDir dir;
    QStringList paths;
    for (const char *name : {"1.jpg", "2.png", "folder", "4.bmp", "5.gif"}) {
        paths.append(dir.path() + "/" + name);
        if (QByteArray(name) == "folder")
            QDir().mkpath(paths.last());
        else
            testpic::WriteBytes(paths.last(), "x");
    }
    QStringList list;
    const auto insert = [&](const QString &path) {
        if (!path.endsWith(".jpg") && !path.endsWith(".png") && !path.endsWith(".bmp"))
            return false;
        list.append(path);
        return true;
    };
    IntakeResult result = AddFilesInOrder(paths, insert);
    QCOMPARE(result.added, 2);
    QVERIFY(result.stoppedAtFolder);
    QVERIFY(result.refusedPath.isEmpty());
    QCOMPARE(list, paths.mid(0, 2));

    // A refused file (here a .gif the list does not take) ends the batch with its path.
    list.clear();
    result = AddFilesInOrder({paths[3], paths[4], paths[0]}, insert);
    QCOMPARE(result.added, 1);
    QCOMPARE(result.refusedPath, paths[4]);
    QCOMPARE(list, QStringList{paths[3]});
}

void TestImageIntake::boxesFromLanguageFile()
{
    QTemporaryDir dir;
    testpic::WriteBytes(dir.path() + "/lang.opt", "[String]\nIDS_GOPT_OUTHDIMAGE_X=1280\nIDS_GOPT_OUTHDIMAGE_Y= 720px\n"
                                                  "IDS_GOPT_OUTSDIMAGE_X=wide\n");
    QVERIFY(Lang::Start(dir.path() + "/lang.opt"));
    const ImageBoxes boxes = ImageBoxes::FromLang();
    Lang::End();
    QCOMPARE(boxes.Chosen(true), QSize(1280, 720));
    QCOMPARE(boxes.Chosen(false), QSize(0, 0)); // junk and a missing key read 0
}

QTEST_GUILESS_MAIN(TestImageIntake)
#include "tst_image_intake.moc"
