#pragma once

// A movie run, and a movie page, on private folders with the script engine in place of the
// real one; sleep inhibition replaced by a descriptor, power-off by a counter.

#include "engine/engine_process.h"
#include "movie/movie_run.h"
#include "movie/movie_window.h"
#include "platform/shutdown.h"
#include "skin/message_box.h"
#include "skin/tests/page_fixtures.h"

#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// Folders and inputs both fixtures share; a page built meanwhile keeps its list in a state
// folder of its own.
class MovieFolders {
public:
    MovieFolders();
    ~MovieFolders();
    QString SaveFolder() const { return m_saveFolder; }
    QString InputFolder() const { return m_inputFolder; }
    // Writes an input whose content the script engine plays; returns its path.
    QString Script(const QString &name, const QString &script, const QString &folder = {});
    // Lines the script engine logged for an input ("paused=1", "stop").
    QStringList EngineLog(const QString &input) const;

private:
    FreshStateFolder m_state;
    QTemporaryDir m_tmp;
    QString m_saveFolder;
    QString m_inputFolder;
};

// Short engine limits, so that a misbehaving engine costs little time.
void UseTestTimings(engine::EngineProcess &engine, const std::string &enginePath);
std::string ScriptEnginePath();

// A MovieRun without any window.
class RunFixture : public MovieFolders {
public:
    RunFixture();
    ~RunFixture();

    MovieRun &Run() { return *m_run; }
    engine::EngineProcess &Engine() { return m_engine; }
    // Adds a job for a new input "clip<n>.mp4" playing script; the row is the job's number.
    void AddJob(const QString &script);
    RunRequest &Request() { return m_request; }
    bool Start() { return m_run->Start(m_request); }
    // Waits (dispatching events) until a file is converting or the run has ended.
    bool WaitUntilSettled(int ms = 10000);
    bool WaitForEnd(int ms = 20000);
    void Tick(int n = 1);

    QList<FileEnd> Ends() const;
    QList<RunSummary> Summaries() const;
    QList<RunProgress> Progress() const;

private:
    engine::EngineProcess m_engine;
    std::unique_ptr<MovieRun> m_run;
    RunRequest m_request;
    std::unique_ptr<QSignalSpy> m_ends;
    std::unique_ptr<QSignalSpy> m_summaries;
    std::unique_ptr<QSignalSpy> m_progress;
    qint64 m_clockMs = 0; // the run's clock: a second a tick
};

// The movie page, shown offscreen, answering every question through a scripted box.
class MovieFixture : public MovieFolders {
public:
    // tickMs: the progress timer's period; the default never fires, so tests tick by hand.
    explicit MovieFixture(int tickMs = 3600 * 1000);
    ~MovieFixture();

    MovieWindow &Window() { return *m_window; }
    MovieRun &Run() { return m_window->Run(); }
    FileListCtrl &List() { return m_window->List(); }
    JobListModel &Model() { return m_window->Rows().Model(); }
    ScriptedMessageBox &Box() { return *m_box; }
    int PowerOffRequests() const { return m_powerOff.Requests(); }

    // Writes inputs and adds them as checked rows.
    void AddScripts(const QStringList &scripts);
    void Click(int id);
    // Until a file converts (its probe and its engine's connection come as events).
    bool WaitUntilConverting(int ms = 10000);
    bool WaitForEnd(int ms = 20000);
    QList<int> Statuses();
    QStringList BoxTexts() const;

private:
    platform::ScopedPowerOff m_powerOff;
    std::unique_ptr<ScriptedMessageBox> m_box;
    std::unique_ptr<MovieWindow> m_window;
};

// The page's controls by name, as tests read them.
struct MovieControls {
    ImageButton *convert, *cancel, *pause, *resume, *add, *del, *option, *hd, *sd;
    ImageButton *deleteSources, *shutDown, *folderLabel, *openFolder;
    ImageButton *currentTitle, *speed, *time, *totalTitle, *count;
    ProgressBarCtrl *currentBar, *totalBar;
};
MovieControls ControlsOf(MovieWindow &window);

// Waits, without dispatching events (engine reports stay queued), until the process has
// ended; it is left for its owner to reap. False when it still runs after ms.
bool WaitForExit(pid_t pid, int ms);

// No child process of this one is left (running or unreaped).
bool NoChildLeft();
