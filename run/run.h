#pragma once

#include "encode/encode_settings.h"
#include "run/run_outcome.h"
#include "shell/output_folder.h"

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QSize>
#include <QString>

// One file of a run: the id of the list row it came from (kNoRowId where there is no list) and
// its full path.
struct RunJob {
    int id = kNoRowId;
    QString sourcePath;
};

// Everything a run needs, copied at its start. Each mode reads its own part: movies the
// profile's codecs and containers, pictures the box and the quarter turns.
struct RunRequest {
    QList<RunJob> jobs; // top to bottom
    bool hd = true;     // the HD profile or box, else SD
    OutputFolder outputFolder;
    EncodeSettings encode; // movies
    QSize box;             // pictures: the target box of the chosen profile
    int rotateSteps = 0;   // pictures: clockwise quarter turns after the picture's own orientation
};

// The figures of one progress report, for both modes; a figure a mode does not know stays at
// its "unknown" value.
struct RunProgress {
    int fileNumber = 0;        // 1-based number of the file in work
    int totalFiles = 0;        // files of the run (less those passed by)
    int filesEnded = 0;        // files that reached their end so far
    int currentPercent = 0;    // of the file in work
    int totalPercent = 0;      // of the run
    int elapsedSeconds = 0;    // of the run, pauses left out
    float speedFactor = -1.0f; // movies: seconds of media a second; -1 unknown
    int fileSecondsLeft = -1;  // -1 until known
    int batchSecondsLeft = -1;
};

// One conversion run, the same shape for movies and pictures. Lives on the window thread (or
// a terminal program's main thread); whatever a worker or the engine learns reaches it as a
// queued signal or a posted event, never as a wait. Every file ends in one place with an
// outcome and a reason (fileEnded), and the run ends once (runEnded) with what it did.
class Run : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, Starting, Converting, Paused, Stopping, Ended };
    Q_ENUM(State)

    using QObject::QObject;

    // False, and nothing happens, while a run is active or when there is no job.
    virtual bool Start(const RunRequest &request) = 0;
    // Paused at once, the file in work held (a movie's engine, also while it starts) or
    // finished first (a picture). A pause lasts over a file's end: the next file waits, held,
    // and the figures stand as they were until Resume.
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    // Both end the run (a Stopping state first where the work takes a moment to let go). A
    // file still in work goes back to waiting, or is finished first where it cannot be left
    // half done (a picture); what was finished stays finished. Cancel is the user's; Stop is
    // for closing. Neither leads to an end-of-run action, but a cancel that finds nothing
    // left to stop (the last picture already in work) lets the run finish.
    virtual void Cancel() = 0;
    virtual void Stop() = 0;
    // The job of the row with this id, unchecked during the run, is passed by when its turn
    // comes; modes whose list is locked during a run may ignore it.
    virtual void SetJobWanted(int id, bool wanted)
    {
        Q_UNUSED(id);
        Q_UNUSED(wanted);
    }

    virtual State CurrentState() const = 0;
    bool IsActive() const { return CurrentState() != State::Idle && CurrentState() != State::Ended; }
    bool IsPaused() const { return CurrentState() == State::Paused; }

signals:
    void stateChanged(Run::State state);
    // The file of the job with this row id is about to be converted; outputPath is where its
    // output will go.
    void fileStarted(int id, const QString &outputPath);
    void progressChanged(const RunProgress &progress);
    void fileEnded(const FileEnd &end);
    void runEnded(const RunSummary &summary);
};

Q_DECLARE_METATYPE(RunProgress)
