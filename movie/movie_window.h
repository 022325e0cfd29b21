#pragma once

#include "encode/encode_settings.h"
#include "engine/engine_process.h"
#include "movie/movie_run.h"
#include "page/converter_page.h"

#include <functional>
#include <memory>

// The movie-mode page: the shared page with the HD/SD profiles, the movie settings, the one
// EngineProcess and a MovieRun, and the words of its six progress labels. The launcher hosts
// it as a child page (Kind::Child). Window thread.
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

    engine::EngineProcess &Engine() { return m_engine; }
    MovieRun &Run() { return *m_run; }

    // The progress labels: current, speed, time, total, count, time left.
    ImageButton *Label(int index) const { return m_labels[index]; }

    const MovieSettings &Settings() const { return m_settings; }
    ::OutputFolder OutputFolder() const override { return ::OutputFolder(m_settings.options.SaveFolder); }
    // A new output folder, saved with the settings and shown under the list unless a run is
    // active.
    void SetOutputFolder(const ::OutputFolder &folder);

    // The options dialog (OptionsDlg by default): edits a copy of the folder's text, true when
    // the user applied it. Tests put a stand-in here.
    using OptionsDialogRunner = std::function<bool(QWidget *owner, QString &folder)>;
    void SetOptionsDialog(OptionsDialogRunner runner) { m_optionsDialog = std::move(runner); }

    void OnOptionCommand() override;

protected:
    void FillRequest(RunRequest &request) const override { request.encode = m_settings.encode; }
    void ShowProgressTexts(const RunProgress &progress) override;
    void ShowMomentTexts(RunMoment moment) override;
    void ShowRunEndTexts(const RunSummary &summary) override;

private:
    void ResetProgress();
    // A label's title followed by its value; the count label has no title.
    static QString Titled(int label, const QString &value);
    void ShowLabel(int label, const QString &value);

    MovieSettings m_settings;
    engine::EngineProcess m_engine;
    ImageButton *m_labels[6] = {};
    OptionsDialogRunner m_optionsDialog;
    // Last, so that it goes first: a file still converting is stopped while the page it
    // reports to still exists. Nothing is deleted.
    std::unique_ptr<MovieRun> m_run;
};
