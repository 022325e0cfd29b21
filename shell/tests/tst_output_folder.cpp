// How any path text becomes the output folder a run writes to and the settings keep.

#include "shell/output_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestOutputFolder : public QObject {
    Q_OBJECT

private slots:
    void fromText_data();
    void fromText();
    void madeWhenMissing();
};

void TestOutputFolder::fromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // empty: no folder
    QTest::newRow("adds one") << "/home/a b"
                              << "/home/a b/";
    QTest::newRow("keeps one") << "/home/x/"
                               << "/home/x/";
    QTest::newRow("root") << "/"
                          << "/";
    QTest::newRow("cleaned") << "/home//x/./y/../"
                             << "/home/x/";
    QTest::newRow("non-ASCII") << QString::fromUtf8("/home/\xC3\xA9t\xC3\xA9")
                               << QString::fromUtf8("/home/\xC3\xA9t\xC3\xA9/");
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("relative") << "relative/out"
                              << "";
}

void TestOutputFolder::fromText()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const OutputFolder folder(text);
    QCOMPARE(folder.Text(), expected);
    QCOMPARE(folder.IsValid(), !expected.isEmpty());
    QCOMPARE(folder.FilePath("a.jpg"), expected + "a.jpg");
    // A command line means the current folder where a text is relative.
    const QString argument = text.startsWith("relative") ? QDir::currentPath() + "/" + text + "/" : expected;
    QCOMPARE(OutputFolder::FromArgument(text).Text(), argument);
}

void TestOutputFolder::madeWhenMissing()
{
    QTemporaryDir dir;
    const OutputFolder nested(dir.filePath("new/folder"));
    QVERIFY(nested.Make());
    QVERIFY(QFileInfo(nested.Text()).isDir());
    QVERIFY(nested.Make()); // already there
    QFile file(dir.filePath("taken"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(!OutputFolder(file.fileName()).Make());
    QVERIFY(!OutputFolder("relative").Make());
}

QTEST_GUILESS_MAIN(TestOutputFolder)
#include "tst_output_folder.moc"
