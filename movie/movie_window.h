#pragma once

#include "encode/encode_settings.h"
#include "engine/engine_process.h"
#include "movie/movie_run.h"
#include "page/converter_page.h"

#include <functional>
#include <memory>

// The movie-mode page: the shared page with the HD/SD profiles, the movie settings, the one
// EngineProcess and a MovieRun, whose values it maps onto the labels, bars and rows. The
// launcher hosts it as a child page (Kind::Child) and asks IsRunStarted() before a mode switch
// and ConfirmExit() before it closes. Window thread.
class MovieWindow : public ConverterPage {
    Q_OBJECT
public:
    // Control ids, as the skin and the tests know them.
    enum ControlId {
        kListId = 1000,
        kCurrentBarId = 1003,
        kConvertId = 1004,
        kCancelId = 1005,
        kTotalBarId = 1006,
        kAddId = 1007,
        kDeleteId = 1008,
        kOptionId = 1009,
        kDeleteSourcesId = 1022,
        kShutDownId = 1023,
        kCountId = 1073,
        kTitleId = 1074,
        kSpeedId = 1078,
        kFolderLabelId = 1095,
        kOpenFolderId = 1096,
        kPauseId = 1097,
        kResumeId = 1098,
        kHdId = 5153,
        kSdId = 5154,
    };
    static constexpr int kClientHeight = 417;

    explicit MovieWindow(QWidget *parent = nullptr, Kind kind = Kind::Child);

    // For the launcher: a run has begun and not ended (mode switches are refused meanwhile).
    bool IsRunStarted() const { return m_run->IsActive(); }
    bool IsRunActive() const override { return m_run->IsActive(); }
    // For closing: asks while a run is active and begins to stop it on Yes. True when the page
    // may close, once IsRunActive() is false (at once, or when runStateChanged(false) comes:
    // the engine goes without anyone waiting for it). No end-of-run action runs and no output
    // is touched, also when the run ended while the question was open; on No such a run ends
    // as it would have. A run already stopping is not asked about.
    bool ConfirmExit();
    engine::EngineProcess &Engine() { return m_engine; }
    MovieRun &Run() { return *m_run; }

    // The progress labels: current, speed, time, total, count, time left.
    ImageButton *Label(int index) const { return m_labels[index]; }

    const MovieSettings &Settings() const { return m_settings; }
    QString SaveFolder() const override { return m_settings.options.SaveFolder; }
    // A new save folder (ending with "/" is added when missing), saved with the settings and
    // shown under the list unless a file is converting.
    void SetSaveFolder(const QString &folder);

    // The options dialog (OptionsDlg by default): edits a copy of the save folder, true when
    // the user applied it. Tests put a stand-in here.
    using OptionsDialogRunner = std::function<bool(QWidget *owner, QString &saveFolder)>;
    void SetOptionsDialog(OptionsDialogRunner runner) { m_optionsDialog = std::move(runner); }

    void OnConvertCommand() override;
    void OnCancelCommand() override;
    void OnPauseCommand() override { m_run->Pause(); }
    void OnResumeCommand() override { m_run->Resume(); }
    void OnOptionCommand() override;

signals:
    void runStateChanged(bool started);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void ConnectRun();
    void OnStateChanged(MovieRun::State state);
    void OnProgress(const MovieProgress &progress);
    void OnFileEnded(const FileEnd &end);
    void OnRunEnded(const RunSummary &summary);
    void ResetProgress();
    // A label's title followed by its value; the count label has no title.
    void ShowLabel(int label, const QString &value);

    MovieSettings m_settings;
    engine::EngineProcess m_engine;
    ImageButton *m_labels[6] = {};
    OptionsDialogRunner m_optionsDialog;
    bool m_reportedActive = false;
    bool m_closeWhenEnded = false; // a close waits for the run to end
    // Last, so that it goes first: a file still converting is stopped while the page it
    // reports to still exists. Nothing is deleted.
    std::unique_ptr<MovieRun> m_run;
};
