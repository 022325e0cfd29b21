// Runs a batch through the movie run and the real engine, as the movie page would but without
// a window, and prints how far the time-left estimate was from the time that was really left,
// and the batch's wall time.
//
//   eta_bench [--sd] [--samples] [--engine PATH] --save FOLDER FILE...
//
// Output: one line per tenth of the batch ("at 30%: estimate 41 s, left 44 s, error -6.8%"),
// the largest error after the first tenth (in seconds for the last few, where a whole second is
// more than 15 %), and "wall 63.2 s".

#include "engine/engine_process.h"
#include "movie/movie_run.h"
#include "shell/output_folder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cmath>
#include <cstdio>

namespace {

struct Sample {
    double at;        // seconds since the start
    int estimate;     // the batch's time left as shown
    int file;         // its number, from 1
    int percent;      // of that file
    int fileEstimate; // the file's time left as shown
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    bool hd = true;
    bool everySample = false;
    QString engine = QCoreApplication::applicationDirPath() + QStringLiteral("/mencoder");
    OutputFolder save;
    QStringList files;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--sd"))
            hd = false;
        else if (args[i] == QLatin1String("--samples"))
            everySample = true;
        else if (args[i] == QLatin1String("--engine") && i + 1 < args.size())
            engine = args[++i];
        else if (args[i] == QLatin1String("--save") && i + 1 < args.size())
            save = OutputFolder::FromArgument(args[++i]);
        else
            files << QFileInfo(args[i]).absoluteFilePath();
    }
    if (!save.IsValid() || files.isEmpty()) {
        std::fprintf(stderr, "usage: eta_bench [--sd] [--engine PATH] --save FOLDER FILE...\n");
        return 2;
    }

    engine::EngineProcess process;
    process.SetEnginePath(engine.toStdString());
    MovieRun run(process);
    RunRequest request;
    request.hd = hd;
    request.encode.SetDefaults(hd);
    request.outputFolder = save;
    for (int i = 0; i < files.size(); ++i)
        request.jobs.append({i, files[i]});

    QElapsedTimer clock;
    QList<Sample> samples;
    int failed = 0;
    QObject::connect(&run, &MovieRun::progressChanged, [&](const RunProgress &p) {
        samples.append(
            {clock.nsecsElapsed() / 1e9, p.batchSecondsLeft, p.fileNumber, p.currentPercent, p.fileSecondsLeft});
    });
    QObject::connect(&run, &MovieRun::fileEnded,
                     [&](const FileEnd &end) { failed += end.outcome == Outcome::Done ? 0 : 1; });
    QObject::connect(&run, &MovieRun::runEnded, &app, &QCoreApplication::quit);
    clock.start();
    if (!run.Start(request))
        return 1;
    if (run.IsActive())
        app.exec();
    const double wall = clock.nsecsElapsed() / 1e9;

    if (everySample) {
        for (const Sample &s : samples)
            std::printf("%7.1f s: estimate %d s, left %.1f s (file %d at %d%%, its estimate %d s)\n", s.at, s.estimate,
                        wall - s.at, s.file, s.percent, s.fileEstimate);
    }
    // The figure is shown in whole seconds: once less than 1 / 0.15 s are left, a step of it
    // is more than 15 %, so there the goal is the step, one second.
    const double stepBound = 1.0 / 0.15;
    double worst = 0.0;
    const Sample *worstSample = nullptr;
    double worstMiss = 0.0;
    const Sample *worstMissSample = nullptr;
    int known = 0;
    for (const Sample &s : samples) {
        if (s.at < wall / 10 || s.estimate < 0)
            continue;
        ++known;
        const double left = wall - s.at;
        const double miss = std::abs(s.estimate - left);
        if (left >= stepBound && miss / left > worst) {
            worst = miss / left;
            worstSample = &s;
        } else if (left < stepBound && miss > worstMiss) {
            worstMiss = miss;
            worstMissSample = &s;
        }
    }
    for (int tenth = 1; tenth <= 9; ++tenth) {
        const double at = wall * tenth / 10;
        const Sample *nearest = nullptr;
        for (const Sample &s : samples) {
            if (!nearest || std::abs(s.at - at) < std::abs(nearest->at - at))
                nearest = &s;
        }
        if (!nearest || nearest->estimate < 0) {
            std::printf("at %d%%: no estimate\n", tenth * 10);
            continue;
        }
        const double left = wall - nearest->at;
        std::printf("at %d%%: estimate %d s, left %.0f s, error %+.1f%%\n", tenth * 10, nearest->estimate, left,
                    100.0 * (nearest->estimate - left) / left);
    }
    if (worstSample) {
        std::printf(
            "largest error after the first tenth, %.1f s or more left: %.1f%% (at %.0f s: estimate %d s, left %.1f s)"
            " (goal: 15%%)\n",
            stepBound, 100.0 * worst, worstSample->at, worstSample->estimate, wall - worstSample->at);
    }
    if (worstMissSample) {
        std::printf("largest miss in the last %.1f s: %.1f s (at %.0f s: estimate %d s, left %.1f s) (goal: 1 s)\n",
                    stepBound, worstMiss, worstMissSample->at, worstMissSample->estimate, wall - worstMissSample->at);
    }
    std::printf("samples judged: %d; %s\n", known,
                worst <= 0.15 && worstMiss <= 1.0 ? "every one within the goal" : "NOT all within the goal");
    std::printf("failed files: %d\n", failed);
    std::printf("wall %.2f s\n", wall);
    return failed == 0 ? 0 : 1;
}
