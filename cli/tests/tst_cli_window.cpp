// The window and framepress-cli, given the same clips and pictures and the same settings,
// write the same outputs: the same names, the same video frames, the same picture bytes. The
// pages are driven offscreen as a user drives them; the program runs as a child without a
// display.

#include "image/image_settings.h"
#include "image/image_window.h"
#include "movie/movie_window.h"
#include "platform/power_inhibit.h"
#include "shell/lang.h"
#include "skin/image_button.h"
#include "skin/message_box.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool Ffmpeg(const QStringList &args, QByteArray *out = nullptr)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", QStringList{"-v", "error", "-y"} + args);
    const bool ok =
        ffmpeg.waitForFinished(120000) && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
    if (out)
        *out = ffmpeg.readAllStandardOutput();
    return ok;
}

// The hash of every decoded video frame, with its time stamps.
QByteArray VideoFrames(const QString &path)
{
    QByteArray frames;
    return Ffmpeg({"-i", path, "-map", "0:v", "-f", "framemd5", "-"}, &frames) ? frames : QByteArray();
}

QByteArray Bytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Fills the page's list, presses Convert and waits for the run's end.
bool ConvertOnPage(ConverterPage &page, int convertId, const QStringList &files)
{
    page.show();
    if (page.Rows().AddFiles(files) != files.size())
        return false;
    QTest::mouseClick(page.Button(convertId), Qt::LeftButton);
    return page.IsRunActive() && QTest::qWaitFor([&] { return !page.IsRunActive(); }, 120000);
}

} // namespace

class TstCliWindow : public QObject {
    Q_OBJECT

private slots:
    void sameOutputsAsTheWindow();
};

void TstCliWindow::sameOutputsAsTheWindow()
{
    platform::PowerInhibit::SetBackend([](const QString &) { return std::optional<int>(); });
    const ScriptedMessageBox box(IDOK); // the end summaries
    QTemporaryDir dir;
    const QString in = dir.filePath("in/"), window = dir.filePath("window/"), cli = dir.filePath("cli/");
    QDir().mkpath(in);
    const QStringList clips = {in + "clip 'one'.mp4", in + "clip é.mkv", in + "clip \"3\".avi"};
    const QStringList pictures = {in + "pic one.png", in + "pic é.jpg", in + "pic 3.bmp"};
    for (int i = 0; i < 3; ++i) {
        const QString size = QStringLiteral("%1x%2").arg(320 + 16 * i).arg(240 - 16 * i);
        QVERIFY(Ffmpeg({"-f", "lavfi", "-i", "testsrc2=duration=1:size=" + size, "-f", "lavfi", "-i", "sine=duration=1",
                        clips[i]}));
        QVERIFY(Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=" + size, "-frames:v", "1", pictures[i]}));
    }

    // The window: its saved folders, HD, pictures turned a quarter by its saved rotation.
    const QString appName = Lang::Get("IDS_APP_NAME");
    ImageSettings{window, 1, 1}.Store(appName);
    {
        MovieWindow movies(nullptr, SkinDialog::Kind::Window);
        movies.SetOutputFolder(OutputFolder(window));
        QVERIFY(ConvertOnPage(movies, MovieWindow::kConvertId, clips));
        ImageWindow images;
        QVERIFY(ConvertOnPage(images, ImageWindow::kConvertId, pictures));
    }

    // The command line: the saved rotation off and the folders elsewhere, the same asked for
    // by --rotate and --output.
    ImageSettings{dir.filePath("elsewhere/"), 0, 1}.Store(appName);
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    program.setProcessEnvironment(env);
    program.start(QCoreApplication::applicationDirPath() + "/framepress-cli",
                  QStringList{"--rotate", "90", "--output", cli} + clips + pictures);
    QVERIFY(program.waitForFinished(300000));
    QCOMPARE(program.exitCode(), 0);

    const QStringList names = QDir(window).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    QCOMPARE(names.size(), 6);
    QCOMPARE(QDir(cli).entryList(QDir::Files | QDir::Hidden, QDir::Name), names);
    for (const QString &name : names) {
        if (name.endsWith(".jpg")) {
            QCOMPARE(Bytes(cli + name), Bytes(window + name));
        } else {
            const QByteArray frames = VideoFrames(window + name);
            QVERIFY(frames.count('\n') > 30);
            QCOMPARE(VideoFrames(cli + name), frames);
        }
    }
}

QTEST_MAIN(TstCliWindow)
#include "tst_cli_window.moc"
