#pragma once

#include "cli/run_printer.h"
#include "run/run.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>

// Drives the runs of a command line one after another, as the window's pages would, and
// tells a printer what happens: each file's start, progress and end, each run's end, then the
// summary. After a run that finished, the sources of its converted files go to the trash when
// asked (the run says whether they may). Main thread, like the runs it drives.
class CliDriver : public QObject {
    Q_OBJECT
public:
    static constexpr int kAllConverted = 0;
    static constexpr int kSomeFailed = 1;
    static constexpr int kUsageError = 2;
    static constexpr int kInterrupted = 130;

    // shown: the files as given, by row.
    CliDriver(RunPrinter &printer, QStringList shown, bool trashSources, QObject *parent = nullptr);

    // Files no run takes: each is reported failed before the first run starts.
    void AddRefused(const QList<FileEnd> &refused);
    // mode: "movie" or "picture". A run without jobs is passed by.
    void AddRun(const QString &mode, Run &run, const RunRequest &request);

    // Starts the first run; finished comes once the last has ended, never from inside Start.
    void Start();
    // Ctrl-C: the run in work is cancelled, as the window's Cancel does, and no later run starts.
    void Interrupt();

signals:
    void finished(int exitStatus);

private:
    struct Stage {
        QString mode;
        Run *run = nullptr;
        RunRequest request;
        QHash<int, int> numberOfRow; // 1-based among all the files the runs take
    };

    void StartNext();
    void OnRunEnded(const RunSummary &summary);
    void Finish();
    CliFile FileOf(int row) const;

    RunPrinter &m_printer;
    QStringList m_shown;
    bool m_trashSources;
    QList<FileEnd> m_refused;
    QList<Stage> m_stages;
    int m_current = -1; // index into m_stages
    int m_currentRow = -1;
    int m_jobs = 0;
    bool m_interrupted = false;
    bool m_finished = false;
    CliSummary m_summary;
};
