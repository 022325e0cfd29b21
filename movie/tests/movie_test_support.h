#pragma once

// A movie page on a private save folder, its engine replaced by the script engine, the
// power-off and sleep inhibition replaced by counters, and helpers to write inputs.

#include "movie/movie_window.h"
#include "platform/shutdown.h"
#include "shell/message_box.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class MovieFixture {
public:
    // tickMs: the progress timer's period; the default never fires, so tests tick by hand.
    explicit MovieFixture(int tickMs = 3600 * 1000);
    ~MovieFixture();

    MovieWindow &Window() { return *m_window; }
    ConversionDriver &Driver() { return m_window->Driver(); }
    FileListCtrl &List() { return m_window->List(); }
    QString SaveFolder() const { return m_saveFolder; }
    QString InputFolder() const { return m_inputFolder; }
    ScriptedMessageBox &Box() { return *m_box; }
    int PowerOffRequests() const { return m_powerOff.Requests(); }

    // Writes an input whose content the script engine plays; returns its path.
    QString Script(const QString &name, const QString &script, const QString &folder = {});
    // Writes inputs and adds them as checked rows.
    void AddScripts(const QStringList &scripts);
    // Lines the script engine logged for an input ("paused=1", "stop").
    QStringList EngineLog(const QString &input) const;

    // Waits (dispatching events) until the current file is converting or the run ended.
    bool WaitUntilSettled(int ms = 10000);
    // Ticks the progress timer n times by hand.
    void Tick(int n = 1);
    // Statuses of all rows, as codes.
    QList<int> Statuses();
    QStringList BoxTexts() const;

private:
    QTemporaryDir m_tmp;
    QString m_saveFolder;
    QString m_inputFolder;
    platform::ScopedPowerOff m_powerOff;
    std::unique_ptr<ScriptedMessageBox> m_box;
    std::unique_ptr<MovieWindow> m_window;
};

// No child process of this one is left (running or unreaped).
bool NoChildLeft();
