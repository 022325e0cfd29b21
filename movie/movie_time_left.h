#pragma once

#include <QList>
#include <QString>

#include <optional>

// How much work one file is, for the estimate: its length and what a second of it costs next
// to a second of plain output, so that a 1080p source counts for more than a 480p one.
struct MovieLoad {
    double seconds = 0.0;   // 0 when its length is unknown
    double cost = 1.0;
};

// The cost of a second of a source: the encoder's output frames cost the same for every
// source; decoding and scaling grow with the source's pixels per second. Sound alone is cheap.
double SourceCost(int width, int height, double frameRate, int outWidth, int outHeight);

// The time left of the current file and of the whole batch, from the lengths of the files still
// to do and the speed measured so far. Times are seconds of the run with its pauses left out, so
// a pause neither moves nor spoils it; the gaps between files count, as they cost the user time
// too. Plain logic; the run feeds it.
class MovieTimeLeft {
public:
    void Begin(const QList<MovieLoad> &loads);
    void FileStarted(int index, double now);
    // A look at the engine; position: seconds of the current source done so far.
    void Tick(double position, double now);
    // A converted file counts in full; one that failed counts for what it got through.
    void FileEnded(bool converted, double now);

    // Seconds; empty until enough has been seen to say.
    std::optional<int> FileLeft() const;
    std::optional<int> BatchLeft() const;

private:
    double Rate() const;       // work per second while files moved
    double FileRate() const;   // work per second over the current file
    double DeadPerFile() const;

    QList<MovieLoad> m_loads;
    int m_current = -1;
    double m_doneWork = 0.0;     // of files that ended
    double m_position = 0.0;     // in the current file
    double m_now = 0.0;
    double m_lastTickAt = 0.0;        // in the current file
    int m_fileMovingTicks = 0;        // since the current file first moved
    double m_fileMovingSince = 0.0;
    double m_fileStartPosition = 0.0;
    // Time no file moved: engines starting and finishing, the gaps between files. It costs the
    // same whatever a file's length, so it counts per file.
    double m_dead = 0.0;
    double m_moving = 0.0;         // of files that ended
    int m_filesStarted = 0;
    double m_fileStartedAt = 0.0;
    double m_lastEndAt = -1.0;
};

// " 00:01:10 / 00:12:40": the current file's time left and the batch's, "—" while unknown (-1).
QString TimeLeftText(int fileSeconds, int batchSeconds);
