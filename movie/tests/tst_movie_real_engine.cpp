// Whole runs of the movie page through the real engine program on clips made by ffmpeg,
// outputs judged by ffprobe.

#include "movie_test_support.h"

#include "run/run_log.h"
#include "shell/lang.h"
#include "skin/image_button.h"
#include "widgets/file_list_ctrl.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

namespace {

const int kFailed = 3, kComplete = 4;

QString T(const char *key) { return Lang::Get(QString::fromLatin1(key)); }

QString EnginePath() { return QCoreApplication::applicationDirPath() + "/mencoder"; }

// A test pattern with a tone: seconds long, 320x240 at 25 fps, 48 kHz stereo.
bool MakeClip(const QString &path, int seconds)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v",
                            "error",
                            "-y",
                            "-f",
                            "lavfi",
                            "-i",
                            QStringLiteral("testsrc=size=320x240:rate=25:duration=%1").arg(seconds),
                            "-f",
                            "lavfi",
                            "-i",
                            QStringLiteral("sine=frequency=440:sample_rate=48000:duration=%1").arg(seconds),
                            "-ac",
                            "2",
                            "-c:v",
                            "libx264",
                            "-preset",
                            "ultrafast",
                            "-c:a",
                            "aac",
                            path});
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
}

struct Probed {
    QString format;
    QString video;
    QString audio;
    int width = 0;
    int height = 0;
    QString rate;
    int sampleRate = 0;
};

Probed Probe(const QString &path)
{
    QProcess ffprobe;
    ffprobe.start("ffprobe", {"-v", "error", "-show_entries",
                              "format=format_name:stream=codec_type,codec_name,width,height,r_frame_rate,sample_rate",
                              "-of", "json", path});
    ffprobe.waitForFinished(30000);
    const QJsonObject root = QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
    Probed p;
    p.format = root["format"].toObject()["format_name"].toString();
    for (const QJsonValue &v : root["streams"].toArray()) {
        const QJsonObject s = v.toObject();
        if (s["codec_type"] == "video") {
            p.video = s["codec_name"].toString();
            p.width = s["width"].toInt();
            p.height = s["height"].toInt();
            p.rate = s["r_frame_rate"].toString();
        } else if (s["codec_type"] == "audio") {
            p.audio = s["codec_name"].toString();
            p.sampleRate = s["sample_rate"].toString().toInt();
        }
    }
    return p;
}

QByteArray Contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<int> EngineChildren()
{
    QList<int> pids;
    QProcess ps;
    ps.start("pgrep", {"-P", QString::number(QCoreApplication::applicationPid()), "-x", "mencoder"});
    ps.waitForFinished();
    for (const QByteArray &line : ps.readAllStandardOutput().split('\n'))
        if (!line.isEmpty())
            pids << line.toInt();
    return pids;
}

} // namespace

class TstMovieRealEngine : public QObject {
    Q_OBJECT

    QTemporaryDir m_clips;
    QString m_clip; // 3 s
    QString m_long; // 60 s, for stopping mid-file

private slots:
    void initTestCase();
    void threeClipsMiddleCorrupt_data();
    void threeClipsMiddleCorrupt();
    void stopMidFile_data();
    void stopMidFile();
    void closingWhileTheLastFileFinishesKeepsTheFinishedOutput();
    void closingAfterTheEngineFinishedKeepsTheOutput();
    void aFileOfTheUsersAtTheOutputNameIsNeverDeleted_data();
    void aFileOfTheUsersAtTheOutputNameIsNeverDeleted();
};

void TstMovieRealEngine::initTestCase()
{
    QVERIFY2(QFileInfo(EnginePath()).isExecutable(), "mencoder is built beside the tests");
    m_clip = m_clips.filePath("source.mp4");
    m_long = m_clips.filePath("long.mp4");
    QVERIFY(MakeClip(m_clip, 3));
    QVERIFY(MakeClip(m_long, 60));
}

void TstMovieRealEngine::threeClipsMiddleCorrupt_data()
{
    QTest::addColumn<bool>("hd");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("video");
    QTest::addColumn<QString>("audio");
    QTest::addColumn<QSize>("size");

    QTest::newRow("HD") << true << "mp4"
                        << "mov,mp4,m4a,3gp,3g2,mj2"
                        << "h264"
                        << "aac" << QSize(1280, 720);
    QTest::newRow("SD") << false << "avi"
                        << "avi"
                        << "mpeg4"
                        << "mp3" << QSize(720, 480);
}

void TstMovieRealEngine::threeClipsMiddleCorrupt()
{
    QFETCH(bool, hd);
    QFETCH(QString, ext);
    QFETCH(QString, container);
    QFETCH(QString, video);
    QFETCH(QString, audio);
    QFETCH(QSize, size);

    MovieFixture f(1000);
    f.Window().Engine().SetEnginePath(EnginePath().toStdString());
    const MovieControls c = ControlsOf(f.Window());
    QSignalSpy ends(&f.Run(), &MovieRun::fileEnded);
    QTest::mouseClick(hd ? c.hd : c.sd, Qt::LeftButton);
    c.deleteSources->SetCheck(true);

    // Inputs with awkward names; the middle one is the first half of a clip.
    const QStringList sources = {f.InputFolder() + "first clip é.mp4", f.InputFolder() + "cut 'half'.mp4",
                                 f.InputFolder() + "third.mov"};
    QVERIFY(QFile::copy(m_clip, sources[0]));
    QVERIFY(QFile::copy(m_clip, sources[2]));
    {
        QFile whole(m_clip);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        QFile half(sources[1]);
        QVERIFY(half.open(QIODevice::WriteOnly));
        half.write(whole.read(whole.size() / 2));
    }
    // A file of the user's already holds the first output name.
    const QString taken = f.SaveFolder() + "first clip é." + ext;
    {
        QFile mine(taken);
        QVERIFY(mine.open(QIODevice::WriteOnly));
        mine.write("mine");
    }
    for (const QString &s : sources)
        QVERIFY(f.Window().Rows().AddFile(s));

    QStringList presentAtMessage;
    ScriptedMessageBox box([&](const MessageBoxQuestion &) {
        for (const QString &s : sources)
            if (QFileInfo::exists(s))
                presentAtMessage << s;
        return IDOK;
    });
    QTest::mouseClick(c.convert, Qt::LeftButton);
    QVERIFY(f.WaitForEnd(240000));

    QCOMPARE(box.Questions().size(), 1);
    QCOMPARE(box.Questions()[0].text.section('\n', 0, 0), T("IDS_MESSAGEBOX_CONVERT_END"));
    QCOMPARE(box.Questions()[0].details.size(), 1);
    QCOMPARE(presentAtMessage, sources);
    // The two converted sources went after the message; the failed one stays in its row.
    QVERIFY(!QFileInfo::exists(sources[0]));
    QVERIFY(QFileInfo::exists(sources[1]));
    QVERIFY(!QFileInfo::exists(sources[2]));
    QCOMPARE(f.Model().RowCount(), 1);
    QCOMPARE(f.Model().At(0).path, sources[1]);
    QCOMPARE(int(f.Model().At(0).status), kFailed);

    QList<FileEnd> done;
    for (const QList<QVariant> &args : ends) {
        if (args[0].value<FileEnd>().outcome == Outcome::Done)
            done << args[0].value<FileEnd>();
    }
    QCOMPARE(done.size(), 2);
    QCOMPARE(done[0].outputPath, f.SaveFolder() + "first clip é(1)." + ext);
    QCOMPARE(done[1].outputPath, f.SaveFolder() + "third." + ext);
    QFile mine(taken);
    QVERIFY(mine.open(QIODevice::ReadOnly));
    QCOMPARE(mine.readAll(), QByteArray("mine"));
    QVERIFY(!QFileInfo::exists(f.SaveFolder() + "cut 'half'." + ext));

    for (const FileEnd &file : done) {
        const Probed p = Probe(file.outputPath);
        QCOMPARE(p.format, container);
        QCOMPARE(p.video, video);
        QCOMPARE(p.audio, audio);
        QCOMPARE(QSize(p.width, p.height), size);
        QCOMPARE(p.rate, "30/1");
        QCOMPARE(p.sampleRate, 44100);
    }
    QVERIFY(EngineChildren().isEmpty());
}

void TstMovieRealEngine::stopMidFile_data()
{
    QTest::addColumn<bool>("close");
    QTest::newRow("cancel") << false;
    QTest::newRow("close the window") << true;
}

void TstMovieRealEngine::stopMidFile()
{
    QFETCH(bool, close);

    MovieFixture f(1000);
    f.Window().Engine().SetEnginePath(EnginePath().toStdString());
    const QString source = f.InputFolder() + "long.mp4";
    QVERIFY(QFile::copy(m_long, source));
    QVERIFY(f.Window().Rows().AddFile(source));
    ControlsOf(f.Window()).deleteSources->SetCheck(true);

    f.Box().SetAnswer(IDYES);
    f.Click(MovieWindow::kConvertId);
    QVERIFY(f.WaitUntilConverting());
    const QString output = f.Run().CurrentOutputPath();
    // The engine writes an unnamed file and names it only when it is complete.
    QTRY_VERIFY_WITH_TIMEOUT(f.Run().LastStatus().Percent > 0, 60000);
    QVERIFY(f.Run().LastStatus().Percent < 50);
    QCOMPARE(EngineChildren().size(), 1);

    if (close)
        f.Window().close();
    else
        f.Click(MovieWindow::kCancelId);
    QVERIFY(f.WaitForEnd());
    QCOMPARE(f.BoxTexts(), QStringList{T(close ? "IDS_MESSAGEBOX_CONVET_EXIT" : "IDS_MESSAGEBOX_CANCEL")});
    QCOMPARE(int(f.Model().At(0).status), 0);
    QCOMPARE(f.Window().isVisible(), !close);
    QVERIFY(!f.Window().Engine().IsAlive());
    QVERIFY(EngineChildren().isEmpty());
    QVERIFY(NoChildLeft());
    QVERIFY(!QFileInfo::exists(output));
    QCOMPARE(QDir(f.SaveFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList{});
    QVERIFY(QFileInfo::exists(source));
}

// A person's event loop runs while the close question is open: the last file finishes and the
// run ends behind it. Yes then closes the page as asked, with no end action; the output stays.
void TstMovieRealEngine::closingWhileTheLastFileFinishesKeepsTheFinishedOutput()
{
    MovieFixture f(1000);
    f.Window().Engine().SetEnginePath(EnginePath().toStdString());
    const QString source = f.InputFolder() + "clip.mp4";
    QVERIFY(QFile::copy(m_clip, source));
    QVERIFY(f.Window().Rows().AddFile(source));
    ControlsOf(f.Window()).deleteSources->SetCheck(true);
    f.Click(MovieWindow::kConvertId);
    QVERIFY(f.WaitUntilConverting());
    const QString output = f.Run().CurrentOutputPath();

    bool endedWhileAsked = false;
    ScriptedMessageBox box([&](const MessageBoxQuestion &q) {
        if (q.text == T("IDS_MESSAGEBOX_CONVET_EXIT"))
            endedWhileAsked = QTest::qWaitFor([&] { return !f.Window().IsRunActive(); }, 120000);
        return q.text == T("IDS_MESSAGEBOX_CONVET_EXIT") ? IDYES : IDOK;
    });
    QVERIFY(f.Window().close());
    QVERIFY(endedWhileAsked);
    QCOMPARE(box.Questions().size(), 1);
    QVERIFY(QFileInfo(output).size() > 0);
    QCOMPARE(Probe(output).video, "h264");
    QVERIFY(QFileInfo::exists(source));
    QVERIFY(EngineChildren().isEmpty());
}

// The engine has finished and gone, but its finish has not been handled when the page closes.
void TstMovieRealEngine::closingAfterTheEngineFinishedKeepsTheOutput()
{
    MovieFixture f(1000);
    f.Window().Engine().SetEnginePath(EnginePath().toStdString());
    const QString source = f.InputFolder() + "clip.mp4";
    QVERIFY(QFile::copy(m_clip, source));
    QVERIFY(f.Window().Rows().AddFile(source));
    f.Click(MovieWindow::kConvertId);
    QVERIFY(f.WaitUntilConverting());
    const QString output = f.Run().CurrentOutputPath();
    // No event is dispatched while waiting: the finish stays queued.
    QVERIFY(WaitForExit(f.Window().Engine().Pid(), 120000));
    QVERIFY(f.Window().IsRunActive());

    f.Box().SetAnswer(IDYES);
    f.Window().close();
    QTRY_VERIFY(!f.Window().isVisible());
    QVERIFY(QFileInfo(output).size() > 0);
    QCOMPARE(Probe(output).video, "h264");
    QCOMPARE(int(f.Model().At(0).status), kComplete);
    QVERIFY(QFileInfo::exists(source)); // closing runs no end-of-run action
}

// A file of the user's appears at the output name while the engine works. The output then
// takes the next free name, or the user cancels or closes: the user's file stays as it was.
void TstMovieRealEngine::aFileOfTheUsersAtTheOutputNameIsNeverDeleted_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("the output takes the next name") << "finish";
    QTest::newRow("cancel") << "cancel";
    QTest::newRow("close") << "close";
}

void TstMovieRealEngine::aFileOfTheUsersAtTheOutputNameIsNeverDeleted()
{
    QFETCH(QString, how);
    MovieFixture f(1000);
    f.Window().Engine().SetEnginePath(EnginePath().toStdString());
    const QString source = f.InputFolder() + "clip.mp4";
    QVERIFY(QFile::copy(how == "finish" ? m_clip : m_long, source));
    QVERIFY(f.Window().Rows().AddFile(source));
    f.Box().SetAnswer(IDYES);
    f.Click(MovieWindow::kConvertId);
    QVERIFY(f.WaitUntilConverting());
    const QString output = f.Run().CurrentOutputPath();
    QTRY_VERIFY_WITH_TIMEOUT(f.Run().LastStatus().Percent > 0, 60000);
    {
        QFile mine(output);
        QVERIFY(mine.open(QIODevice::NewOnly));
        mine.write("mine");
    }
    if (how == "finish") {
        QVERIFY(f.WaitForEnd(120000));
        QCOMPARE(int(f.Model().At(0).status), kComplete);
        const QString other = f.SaveFolder() + "clip(1).mp4";
        QCOMPARE(Probe(other).video, "h264");
        // The log names where the output went, and the engine's word on why.
        const QByteArray log = Contents(RunLog().Path());
        QVERIFY(log.contains("Output: " + other.toUtf8()));
        QVERIFY(log.contains("took the name"));
    } else if (how == "cancel") {
        f.Click(MovieWindow::kCancelId);
    } else {
        f.Window().close();
    }
    QVERIFY(f.WaitForEnd());
    QCOMPARE(Contents(output), QByteArray("mine"));
    QVERIFY(QFileInfo::exists(source));
    QVERIFY(EngineChildren().isEmpty());
}

QTEST_MAIN(TstMovieRealEngine)
#include "tst_movie_real_engine.moc"
