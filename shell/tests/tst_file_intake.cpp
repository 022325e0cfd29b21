#include "shell/file_intake.h"
#include "shell/skin_util.h"

#include <QMimeData>
#include <QTest>
#include <QUrl>

class TestFileIntake : public QObject {
    Q_OBJECT

private slots:
    void extensionList_data();
    void extensionList();
    void dialogFilter();
    void folderWithSlash_data();
    void folderWithSlash();
    void localFilesOfADrop();
};

void TestFileIntake::extensionList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("blanks and case") << " jpg, JPEG ,png" << QStringList{"jpg", "jpeg", "png"};
    QTest::newRow("empty items") << ",mp4,, ,mkv," << QStringList{"mp4", "mkv"};
    QTest::newRow("nothing") << "" << QStringList{};
    QTest::newRow("long entry cut") << "abcdefghijkl,avi" << QStringList{"abcdefghi", "avi"};
    // 196 characters of one entry and ",mp4": the cut at 199 leaves "mp" of the last one.
    QTest::newRow("long text cut") << QString(196, 'x') + ",mp4" << QStringList{"xxxxxxxxx", "mp"};
}

void TestFileIntake::extensionList()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QCOMPARE(ParseExtensionList(text), expected);
}

void TestFileIntake::dialogFilter()
{
    QCOMPARE(ExtensionDialogFilter("Picture files", {"jpg", "png"}), QStringLiteral("Picture files (*.jpg *.png)"));
    // No list means the list takes any file, so the dialog must offer any file too.
    QCOMPARE(ExtensionDialogFilter("Files", {}), QStringLiteral("Files (*)"));
}

void TestFileIntake::folderWithSlash_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expected");
    QTest::newRow("adds one") << "/home/a b" << "/home/a b/";
    QTest::newRow("keeps one") << "/home/x/" << "/home/x/";
    QTest::newRow("non-ASCII") << QString::fromUtf8("/home/\xC3\xA9t\xC3\xA9") << QString::fromUtf8("/home/\xC3\xA9t\xC3\xA9/");
    QTest::newRow("empty stays empty") << "" << "";
}

void TestFileIntake::folderWithSlash()
{
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    QCOMPARE(FolderWithSlash(folder), expected);
}

void TestFileIntake::localFilesOfADrop()
{
    QCOMPARE(LocalFiles(nullptr), QStringList());
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/tmp/a b.mp4"), QUrl("https://example.org/c.mp4"),
                  QUrl::fromLocalFile(QString::fromUtf8("/tmp/\xC3\xA9t\xC3\xA9.jpg"))});
    QCOMPARE(LocalFiles(&mime), (QStringList{"/tmp/a b.mp4", QString::fromUtf8("/tmp/\xC3\xA9t\xC3\xA9.jpg")}));
}

QTEST_GUILESS_MAIN(TestFileIntake)
#include "tst_file_intake.moc"
