#include "image/image_intake.h"
#include "test_pictures.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TestImageIntake : public QObject {
    Q_OBJECT

private slots:
    void dropStopsAtFolderOrRefusal();
    void deleteQuestion();
    void boxSides_data();
    void boxSides();
    void dialogFilter();
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

void TestImageIntake::deleteQuestion()
{
    QStringList names;
    for (int i = 1; i <= 12; ++i)
        names.append(QStringLiteral("p%1.jpg").arg(i));
    const QString twelve = DeleteQuestionText("Delete?", names);
    QCOMPARE(twelve.count('\n'), 12);   // two after the prompt, ten names
    QVERIFY(twelve.contains("p10.jpg\n<...more files...>"));
    QVERIFY(!twelve.contains("p11.jpg"));
    QCOMPARE(DeleteQuestionText("Delete?", names.mid(0, 10)).contains("more files"), false);
    QCOMPARE(DeleteQuestionText("Delete?", {"a b.jpg"}), QStringLiteral("Delete?\n\na b.jpg\n"));
}

void TestImageIntake::boxSides_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("side");
    QTest::newRow("plain") << "1280" << 1280;
    QTest::newRow("leading blanks, trailing text") << "  720px" << 720;
    QTest::newRow("sign") << "+480" << 480;
    QTest::newRow("missing key") << "" << 0;
    QTest::newRow("not a number") << "wide" << 0;
    QTest::newRow("huge clamps") << "99999999999" << std::numeric_limits<int>::max();
}

void TestImageIntake::boxSides()
{
    QFETCH(QString, text);
    QFETCH(int, side);
    QCOMPARE(ParseBoxSide(text), side);
}

void TestImageIntake::dialogFilter()
{
    const QStringList extensions = ParseExtensionList(" jpg, JPEG ,,png ");
    QCOMPARE(extensions, (QStringList{"jpg", "jpeg", "png"}));
    QCOMPARE(ImageDialogFilter("Picture files", extensions), QStringLiteral("Picture files (*.jpg *.jpeg *.png)"));
}

QTEST_GUILESS_MAIN(TestImageIntake)
#include "tst_image_intake.moc"
