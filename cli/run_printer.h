#pragma once

#include "run/end_actions.h"
#include "run/run.h"

#include <QString>

#include <cstdio>
#include <memory>

// A file as the printers name it.
struct CliFile {
    int row = -1;   // its place among the files given
    QString shown;  // as given on the command line
    QString path;   // absolute
    QString mode;   // "movie" or "picture"; empty for a file no run took
    int number = 0; // 1-based among the files the runs take, movies first; 0 for one no run took
    int total = 0;
};

// The end of the whole command line.
struct CliSummary {
    RunSummary all;         // every file that reached its end, in the order given; Cancelled when interrupted
    QList<FileEnd> trashed; // sources moved to the trash
    QList<KeptSource> kept; // sources the trash did not take
    int files = 0;          // files given (each once)
    int exitStatus = 0;
};

// Turns what the runs report into text: the files and the summary on standard output,
// messages on standard error. Three styles: a terminal's live lines redrawn in place, plain
// lines (one when a file starts, one when it ends), or one JSON object a line and nothing
// else on standard output. Main thread.
class RunPrinter {
public:
    enum class Style { Terminal, Lines, Json };
    static std::unique_ptr<RunPrinter> Make(Style style, FILE *out = stdout, FILE *err = stderr);
    virtual ~RunPrinter() = default;

    virtual void FileStarted(const CliFile &file, const QString &outputPath) = 0;
    virtual void Progress(const CliFile &file, const RunProgress &progress) = 0;
    virtual void FileEnded(const CliFile &file, const FileEnd &end) = 0;
    virtual void RunEnded(const QString &mode, const RunSummary &summary) = 0;
    virtual void Summary(const CliSummary &summary) = 0;
    virtual void Message(const QString &text);

protected:
    RunPrinter(FILE *out, FILE *err)
        : m_out(out)
        , m_err(err)
    {
    }
    // Writes the text as UTF-8 and flushes: a reader at the other end of a pipe sees each
    // event as it happens.
    static void Write(FILE *file, const QString &text);

    FILE *m_out;
    FILE *m_err;
};
