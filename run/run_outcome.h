#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

#include <utility>

// How a file of a run ended and why, as values both pages, their summary and their log
// share. A reason is a code, never a free text: the window looks its words up.

enum class Outcome {
    Done,      // converted; the output is on disk
    Failed,    // the file could not be converted; the reason says why
    Cancelled, // the user cancelled the run while this file was in work
    Stopped,   // the run was stopped (closing, no engine) before this file could end
};

enum class ReasonKind {
    None,
    Engine,        // the engine's failure code
    Preparation,   // the job could not be prepared: an EngineArgsError
    Stall,         // no progress: code = watchdog ticks (seconds) without a change
    Image,         // an ImageError
    EngineMissing, // the engine program could not be started, or ended before it connected
    EngineLost,    // the engine did not connect within the limit, or went away without a word
    NoOutput,      // the engine said finished, but no output is on disk
    SourceGone,    // the source is no longer there
    Intake,        // the file was never taken into a run: an IntakeRefusal
};

// Why a file named for conversion was not taken into a run.
enum class IntakeRefusal {
    NoSuchFile = 1,
    NotAFile = 2,     // a folder, pipe, socket or device
    NotSupported = 3, // its extension is of no accepted kind
};

struct Reason {
    ReasonKind kind = ReasonKind::None;
    int code = 0;

    static Reason Engine(int code) { return {ReasonKind::Engine, code}; }
    static Reason Preparation(int code) { return {ReasonKind::Preparation, code}; }
    static Reason Stall(int ticks) { return {ReasonKind::Stall, ticks}; }
    static Reason Image(int code) { return {ReasonKind::Image, code}; }
    static Reason Intake(IntakeRefusal refusal) { return {ReasonKind::Intake, int(refusal)}; }
    static Reason Of(ReasonKind kind) { return {kind, 0}; }
    bool operator==(const Reason &) const = default;
};

// A list row's id names the row for a session: it follows the row when rows move or go and is
// never given to another. Ids are positive; a job without a row (a terminal program's) has none.
constexpr int kNoRowId = -1;

struct FileEnd {
    int id = kNoRowId; // the row's id
    QString sourcePath;
    QString outputPath;
    Outcome outcome = Outcome::Done;
    Reason reason;
};

// How the last run that reached a row ended for it: converted (to output) or failed (for
// reason); None before any has. A later run's start shows the row waiting again but leaves
// this, so that the row still knows it.
struct LastRun {
    enum class End { None, Converted, Failed };
    End end = End::None;
    QString output; // Converted: the file written
    Reason reason;  // Failed: why

    static LastRun Converted(QString output) { return {End::Converted, std::move(output), {}}; }
    static LastRun Failed(Reason reason) { return {End::Failed, {}, reason}; }
    bool operator==(const LastRun &) const = default;
};

enum class RunEnd {
    Finished,      // every file of the run was handled
    Cancelled,     // the user cancelled
    Stopped,       // the application stopped it (closing)
    EngineMissing, // the engine program could not be started or ended before it connected:
                   // nothing more can be converted
};

// What the user asked to happen once a run has finished.
struct EndChoices {
    bool deleteSources = false;
    bool powerOff = false;
};

// A run as it ended: every file that reached its end, in that order.
struct RunSummary {
    RunEnd end = RunEnd::Finished;
    QList<FileEnd> files;
    // Movie runs move sources away only when their last file was converted; image runs
    // whenever they finish.
    bool sourcesMayGo = false;
    EndChoices choices;

    int Count(Outcome outcome) const;
    QList<FileEnd> Files(Outcome outcome) const;
};

Q_DECLARE_METATYPE(Reason)
Q_DECLARE_METATYPE(FileEnd)
Q_DECLARE_METATYPE(RunSummary)
