// What a finished, cancelled or stopped run does at its end, where sources go, and the output
// name both pages give a source.

#include "run/end_actions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

void Touch(const QString &path, const QByteArray &bytes = "data")
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TstEndActions : public QObject {
    Q_OBJECT

private slots:
    void decide_data();
    void decide();
    void trashKeepsSourcesWithoutTheirOutput();
    void trashNeverLandsUnderTheCurrentFolder();
    void outputName_data();
    void outputName();
};

void TstEndActions::decide_data()
{
    QTest::addColumn<int>("end");
    QTest::addColumn<bool>("mayGo");
    QTest::addColumn<bool>("deleteBox");
    QTest::addColumn<bool>("powerBox");
    QTest::addColumn<bool>("message");
    QTest::addColumn<bool>("trash");
    QTest::addColumn<bool>("powerOff");

    const int finished = int(RunEnd::Finished);
    QTest::newRow("finished, no box") << finished << true << false << false << true << false << false;
    QTest::newRow("finished, delete box") << finished << true << true << false << true << true << false;
    QTest::newRow("finished, last failed") << finished << false << true << false << true << false << false;
    QTest::newRow("finished, both boxes") << finished << true << true << true << false << true << true;
    QTest::newRow("finished, power, last failed") << finished << false << true << true << false << false << true;
    for (RunEnd end : {RunEnd::Cancelled, RunEnd::Stopped, RunEnd::EngineMissing}) {
        const QByteArray name = end == RunEnd::Cancelled ? "cancelled"
                                : end == RunEnd::Stopped ? "stopped"
                                                         : "no engine";
        QTest::newRow(name + ", both boxes") << int(end) << true << true << true << false << false << false;
    }
}

void TstEndActions::decide()
{
    QFETCH(int, end);
    QFETCH(bool, mayGo);
    QFETCH(bool, deleteBox);
    QFETCH(bool, powerBox);
    RunSummary summary;
    summary.end = RunEnd(end);
    summary.sourcesMayGo = mayGo;
    summary.choices = {deleteBox, powerBox};
    const EndActions actions = DecideEndActions(summary);
    QTEST(actions.showEndMessage, "message");
    QTEST(actions.trashSources, "trash");
    QTEST(actions.powerOff, "powerOff");
}

void TstEndActions::trashKeepsSourcesWithoutTheirOutput()
{
    QTemporaryDir tmp;
    const QString d = tmp.path() + '/';
    for (const char *name : {"a.mov", "a.mp4", "b.mov", "c.mov", "c.mp4", "d.mp4"})
        Touch(d + name);
    Touch(d + "c.mp4", ""); // an empty output is no output
    const QList<FileEnd> done{
        {0, d + "a.mov", d + "a.mp4", Outcome::Done, {}},
        {1, d + "b.mov", d + "gone.mp4", Outcome::Done, {}},
        {2, d + "c.mov", d + "c.mp4", Outcome::Done, {}},
        {3, d + "d.mp4", d + "d.mp4", Outcome::Done, {}}, // never the output itself
        {4, d + "missing.mov", d + "a.mp4", Outcome::Done, {}},
    };
    const QList<FileEnd> gone = TrashSources(done).gone;
    QCOMPARE(gone.size(), 1);
    QCOMPARE(gone[0].sourcePath, d + "a.mov");
    QVERIFY(!QFileInfo::exists(d + "a.mov"));
    for (const char *name : {"a.mp4", "b.mov", "c.mov", "d.mp4"})
        QVERIFY2(QFileInfo::exists(d + name), name);
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files/";
    QVERIFY(QFileInfo::exists(trash + "a.mov"));
}

// A fresh account has no data folder yet: Qt would then "trash" into files/ under the current
// folder and say it worked.
void TstEndActions::trashNeverLandsUnderTheCurrentFolder()
{
    QTemporaryDir tmp;
    const QString d = tmp.path() + '/';
    QVERIFY(QDir().mkpath(d + "cwd"));
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    const QString oldCwd = QDir::currentPath();
    qputenv("XDG_DATA_HOME", QFile::encodeName(d + "fresh/data"));
    QDir::setCurrent(d + "cwd");
    Touch(d + "clip.mov");
    Touch(d + "clip.mp4");
    const QList<FileEnd> gone = TrashSources({{0, d + "clip.mov", d + "clip.mp4", Outcome::Done, {}}}).gone;
    QDir::setCurrent(oldCwd);
    qputenv("XDG_DATA_HOME", oldData);

    QCOMPARE(gone.size(), 1);
    QVERIFY(QFileInfo::exists(d + "fresh/data/Trash/files/clip.mov"));
    QVERIFY(QDir(d + "cwd").isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

// Existing names in the save folder ("=" makes a folder, "@" a dangling link), the source's
// name, the expected output.
void TstEndActions::outputName_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("output");

    QTest::newRow("free") << QStringList{} << "clip.mov"
                          << "clip.mp4";
    QTest::newRow("two taken") << QStringList{"clip.mp4", "clip(1).mp4"} << "clip.mov"
                               << "clip(2).mp4";
    QTest::newRow("gap is used") << QStringList{"clip.mp4", "clip(2).mp4"} << "clip.mov"
                                 << "clip(1).mp4";
    QTest::newRow("folder of that name") << QStringList{"=clip.mp4"} << "clip.mov"
                                         << "clip(1).mp4";
    QTest::newRow("dangling link") << QStringList{"@clip.mp4"} << "clip.mov"
                                   << "clip(1).mp4";
    QTest::newRow("dots in the name") << QStringList{} << "my.holiday.mov"
                                      << "my.holiday.mp4";
    QTest::newRow("no extension") << QStringList{} << "clip"
                                  << "clip.mp4";
    QTest::newRow("dot name keeps its dot") << QStringList{} << ".clip"
                                            << ".clip.mp4";
    QTest::newRow("dot name with extension") << QStringList{} << ".clip.mov"
                                             << ".clip.mp4";
    QTest::newRow("spaces, quotes, accents") << QStringList{"l'été \"x\".mp4"} << "l'été \"x\".avi"
                                             << "l'été \"x\"(1).mp4";
    // Names of 255 bytes at most: the stem gives way, never the counter or the extension,
    // and never half of a two-byte letter.
    const QString a251(251, 'a'), e125 = QString(125, QChar(0xE9));
    QTest::newRow("255 bytes fit") << QStringList{} << a251 + ".mov" << a251 + ".mp4";
    QTest::newRow("a longer extension shortens") << QStringList{} << a251 + ".ts" << a251 + ".mp4";
    QTest::newRow("a stem too long") << QStringList{} << a251 + "aa.ts" << a251 + ".mp4";
    QTest::newRow("counter after a long stem")
        << QStringList{a251 + ".mp4"} << a251 + ".mov" << QString(248, 'a') + "(1).mp4";
    QTest::newRow("two-byte letters") << QStringList{} << e125 + "a.mov" << e125 + "a.mp4";
    QTest::newRow("two-byte letters cut whole") << QStringList{} << e125 + "ab.mov" << e125 + "a.mp4";
    QTest::newRow("two-byte letters, counter")
        << QStringList{e125 + "a.mp4"} << e125 + "a.mov" << QString(124, QChar(0xE9)) + "(1).mp4";
}

void TstEndActions::outputName()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, source);
    QTemporaryDir tmp;
    const QString save = tmp.path() + "/save/";
    QDir().mkpath(save);
    for (const QString &name : existing) {
        if (name.startsWith('='))
            QDir().mkpath(save + name.mid(1));
        else if (name.startsWith('@'))
            QFile::link(save + "nowhere", save + name.mid(1));
        else
            Touch(save + name);
    }
    QFETCH(QString, output);
    QCOMPARE(MakeOutputName(OutputFolder(save), tmp.path() + "/in/" + source, "mp4"), save + output);
}

QTEST_GUILESS_MAIN(TstEndActions)
#include "tst_end_actions.moc"
