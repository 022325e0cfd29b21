// How long the window thread is kept from its event loop during a movie run: the movie page
// (offscreen, in a private home) converts ten 3-second 720p clips through the real engine while
// a 5 ms timer on the window thread notes the longest time between two of its turns; then a run
// of a 20-second clip is cancelled mid-file, measured the same way. Clips are made with ffmpeg.
//
//   loop_gap_bench [runs]      (1 by default; goal: 50 ms at most on a quiet machine)
//
// Output: per run, the longest gap of each phase and where it fell (file, state of the run).

#include "movie/movie_run.h"
#include "movie/movie_window.h"
#include "platform/power_inhibit.h"
#include "shell/app_paths.h"
#include "shell/lang.h"
#include "skin/message_box.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMetaEnum>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

bool MakeClip(const QString &path, int seconds)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-v", "error", "-y", "-f", "lavfi", "-i",
                  QStringLiteral("testsrc2=size=1280x720:rate=30:duration=%1").arg(seconds), "-f", "lavfi", "-i",
                  QStringLiteral("sine=frequency=330:sample_rate=48000:duration=%1").arg(seconds), "-c:v", "libx264",
                  "-preset", "veryfast", "-c:a", "aac", "-shortest", path});
    return ffmpeg.waitForFinished(120000) && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
}

// The longest interval between two turns of a 5 ms timer, and what the run was doing when it ended.
class GapMeter : public QObject {
public:
    explicit GapMeter(MovieRun &run)
        : m_run(run)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, &GapMeter::Turn);
    }
    void Start()
    {
        m_longestNs = 0;
        m_clock.start();
        m_lastNs = 0;
        m_timer.start();
    }
    void Stop()
    {
        Turn();
        m_timer.stop();
    }
    double LongestMs() const { return double(m_longestNs) / 1e6; }
    QString Where() const { return m_where; }

private:
    void Turn()
    {
        const qint64 now = m_clock.nsecsElapsed();
        if (now - m_lastNs > m_longestNs) {
            m_longestNs = now - m_lastNs;
            const char *state = QMetaEnum::fromType<MovieRun::State>().valueToKey(int(m_run.CurrentState()));
            m_where = QStringLiteral("file %1, %2").arg(m_run.FileNumber()).arg(QString::fromLatin1(state));
        }
        m_lastNs = now;
    }

    MovieRun &m_run;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_longestNs = 0;
    QString m_where;
};

// Runs the event loop until the run has ended; the meter stops before the page's end actions.
void RunToEnd(MovieWindow &page, GapMeter &meter, const std::function<void()> &start)
{
    QEventLoop loop;
    const auto ended = QObject::connect(&page.Run(), &MovieRun::stateChanged, &loop, [&](MovieRun::State state) {
        if (state == MovieRun::State::Ended) {
            meter.Stop();
            loop.quit();
        }
    });
    meter.Start();
    start();
    if (page.Run().IsActive())
        loop.exec();
    QObject::disconnect(ended);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString folder = home.path() + '/' + QString::fromLatin1(name);
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv(name, QFile::encodeName(folder));
    }
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;

    std::printf("Making ten 3-second 720p clips and a 20-second one...\n");
    std::fflush(stdout);
    QStringList clips;
    for (int i = 1; i <= 10; ++i) {
        clips << home.filePath(QStringLiteral("clip %1.mp4").arg(i, 2, 10, QLatin1Char('0')));
        if (!(i == 1 ? MakeClip(clips.last(), 3) : QFile::copy(clips.first(), clips.last()))) {
            std::fprintf(stderr, "ffmpeg could not make the clips\n");
            return 1;
        }
    }
    const QString longClip = home.filePath(QStringLiteral("long.mp4"));
    if (!MakeClip(longClip, 20))
        return 1;

    Lang::Start(AppPaths::Current().langFile);
    platform::PowerInhibit::SetBackend([](const QString &) { return std::optional<int>(); });
    ScriptedMessageBox box(IDYES); // the end message, and Yes to the cancel question
    int failed = 0;
    for (int run = 1; run <= runs; ++run) {
        // A list of its own for each run: nothing kept from the run before.
        qputenv("XDG_STATE_HOME", QFile::encodeName(home.filePath(QStringLiteral("state%1").arg(run))));
        MovieWindow page(nullptr, SkinDialog::Kind::Window);
        const QString save = home.filePath(QStringLiteral("out%1").arg(run));
        QDir().mkpath(save);
        page.SetOutputFolder(OutputFolder(save));
        page.show();
        QObject::connect(&page.Run(), &MovieRun::fileEnded,
                         [&](const FileEnd &end) { failed += end.outcome == Outcome::Done ? 0 : 1; });
        GapMeter meter(page.Run());

        page.Rows().AddFiles(clips);
        RunToEnd(page, meter, [&] { page.OnConvertCommand(); });
        std::printf("run %d: ten files: longest gap %.1f ms (%s)\n", run, meter.LongestMs(), qPrintable(meter.Where()));

        page.Rows().AddFiles({longClip});
        const auto cancel = QObject::connect(&page.Run(), &MovieRun::progressChanged, [&](const RunProgress &p) {
            if (p.currentPercent >= 10)
                QTimer::singleShot(0, &page, [&page] { page.OnCancelCommand(); });
        });
        --failed; // the cancelled file
        RunToEnd(page, meter, [&] { page.OnConvertCommand(); });
        QObject::disconnect(cancel);
        std::printf("run %d: cancel mid-file: longest gap %.1f ms (%s)\n", run, meter.LongestMs(),
                    qPrintable(meter.Where()));
        std::fflush(stdout);
    }
    if (failed != 0)
        std::printf("files not converted: %d\n", failed);
    return failed == 0 ? 0 : 1;
}
