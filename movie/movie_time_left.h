#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

// How much work one file is, for the estimate: its length and what a second of it costs next
// to a second of plain output, so that a 1080p source counts for more than a 480p one.
struct MovieLoad {
    double seconds = 0.0; // 0 when its length is unknown
    double cost = 1.0;
    // Files of one kind (picture size and rate) go at one speed more nearly than a batch
    // does: the encoder's effort follows the content, which a camera or a source keeps. 0: none.
    quint64 kind = 0;
};

// The kind of a source for the estimate: its picture size and frame rate, or sound alone.
quint64 SourceKind(int width, int height, double frameRate);

// The cost of a second of a source: the encoder's output frames cost the same for every
// source; decoding and scaling grow with the source's pixels per second. Sound alone is cheap.
double SourceCost(int width, int height, double frameRate, int outWidth, int outHeight);

// The time left of the current file and of the whole batch, from the lengths of the files still
// to do and the speed measured so far. Times are seconds of the run with its pauses left out, so
// a pause neither moves nor spoils it. A file costs more than its media at the engine's speed:
// it starts up (and the decoder races ahead while the encoder fills its queue, which is no
// measure of speed), and it finishes after its last picture was read (the encoder drains, the
// output is closed). Both are measured per file and counted for every file still to come.
// Plain logic; the run feeds it.
class MovieTimeLeft {
public:
    // A load of unknown length (seconds 0) may be learnt later with SetLoad; until then the
    // batch has no figure.
    void Begin(const QList<MovieLoad> &loads);
    void SetLoad(int index, const MovieLoad &load);
    void FileStarted(int index, double now);
    // A look at the engine; position: seconds of the current source done so far.
    void Tick(double position, double now);
    // A converted file counts in full; one that failed counts for what it got through.
    void FileEnded(bool converted, double now);

    // Seconds; empty until enough has been seen to say.
    std::optional<int> FileLeft() const;
    std::optional<int> BatchLeft() const;

private:
    // What a file costs: work per second once it runs steadily, and the seconds that starting
    // and finishing add to that.
    struct Model {
        double rate = 0.0;
        double start = 0.0;
        double finish = 0.0;
    };
    Model Fit() const;
    double FileRate() const;
    double StartOffset() const; // of the current file, once it has moved on steadily
    // The speed a file of that kind is expected to go at: the files of its kind, and of kinds
    // like it, measured so far, leaning on the batch's speed while they are few.
    double KindRate(quint64 kind, double batchRate) const;
    std::optional<double> FileSeconds(const Model &model) const;
    double CurrentCost() const { return m_loads[m_current].cost; }
    // Of the current file since it first moved: the work done and the time it took.
    double SteadyWork() const { return (m_position - m_lead) * CurrentCost(); }
    double SteadyTime() const { return m_risenAt - m_movingSince; }
    // Of the current file: its speed since it first moved, 0 until a look found it further on.
    double SteadyRate() const;

    QList<MovieLoad> m_loads;

    // The current file.
    int m_current = -1;
    double m_startedAt = 0.0;
    double m_gapBefore = 0.0; // since the file before it ended
    double m_position = 0.0;
    bool m_longer = false; // read well past its known length
    double m_now = 0.0;
    bool m_moving = false;
    double m_movingSince = 0.0; // the look that first found it moving
    double m_lead = 0.0;        // media done by then
    double m_risenAt = 0.0;     // the last look that found it further on
    int m_rises = 0;            // looks that found it further on, after the first

    // Ended files.
    double m_work = 0.0; // steady work, and the time it took
    double m_workTime = 0.0;
    double m_startSum = 0.0; // of files that moved on steadily, the gap before each included
    int m_starts = 0;
    double m_finishSum = 0.0; // of converted files
    int m_finishes = 0;
    double m_wholeWork = 0.0; // all of it, for files too short to show a steady speed
    double m_wholeTime = 0.0;
    double m_lastEndAt = -1.0;
    struct KindSpeed {
        double work = 0.0;
        double time = 0.0;
    };
    QHash<quint64, KindSpeed> m_kinds; // steady work and time of ended files, by kind
};

// " 00:01:10 / 00:12:40": the current file's time left and the batch's, "—" while unknown (-1).
QString TimeLeftText(int fileSeconds, int batchSeconds);
