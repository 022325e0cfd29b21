#pragma once

#include "encode/encode_settings.h"
#include "engine/engine_process.h"
#include "movie/conversion_driver.h"
#include "movie/job_list.h"
#include "shell/skin_dialog.h"

#include <QPixmap>

#include <functional>
#include <memory>

class FileListCtrl;
class ImageButton;
class ProgressBarCtrl;

// The movie-mode page: the job list, the HD/SD choice, the run buttons and the progress panel.
// It owns the movie settings, the list, the one EngineProcess and the ConversionDriver; the
// launcher hosts it as a child page (Kind::Child) and asks IsRunStarted() before a mode switch
// and ConfirmExit() before it closes. Window thread.
class MovieWindow : public SkinDialog {
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
    static constexpr int kClientWidth = 700;
    static constexpr int kClientHeight = 417;

    explicit MovieWindow(QWidget *parent = nullptr, Kind kind = Kind::Child);
    ~MovieWindow() override;   // an engine still running is stopped, its partial output removed

    // For the launcher: a run has begun and not ended (mode switches are refused meanwhile).
    bool IsRunStarted() const { return m_driver->IsRunStarted(); }
    // For the launcher's exit: asks while a file converts, stops the engine on Yes. True when
    // the application may close.
    bool ConfirmExit();
    engine::EngineProcess &Engine() { return m_engine; }
    ConversionDriver &Driver() { return *m_driver; }
    JobList &Jobs() { return m_jobs; }
    FileListCtrl &List() { return *m_list; }
    const MovieControls &Controls() const { return m_controls; }
    ImageButton *OpenFolderButton() const { return m_openFolder; }

    const MovieSettings &Settings() const { return m_settings; }
    QString SaveFolder() const { return m_settings.options.SaveFolder; }
    // A new save folder (ending with "/" is added when missing), saved with the settings and
    // shown under the list unless a file is converting.
    void SetSaveFolder(const QString &folder);

    // The options dialog (OptionsDlg by default): edits a copy of the save folder, true when
    // the user applied it. Tests put a stand-in here.
    using OptionsDialogRunner = std::function<bool(QWidget *owner, QString &saveFolder)>;
    void SetOptionsDialog(OptionsDialogRunner runner) { m_optionsDialog = std::move(runner); }

    // Commands, as the buttons, keys and drops run them.
    void OnConvertCommand();
    void OnAddCommand();
    void OnDeleteCommand();
    void OnOptionCommand();
    void OnOpenFolderCommand();
    void OnFilesDropped(const QStringList &paths);

signals:
    void runStateChanged(bool started);

protected:
    void PaintClient(QPainter &painter, const QRect &dirty) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void CreateControls();
    void Initialise();
    ImageButton *MakeButton(int id, const QString &image, const QString &text, QPoint at,
                            int frames = 4);
    ImageButton *MakeLabel(int id, const QRect &rect);

    MovieSettings m_settings;
    engine::EngineProcess m_engine;
    FileListCtrl *m_list = nullptr;
    JobList m_jobs;
    MovieControls m_controls;
    ImageButton *m_openFolder = nullptr;
    QPixmap m_listPanel;
    QPixmap m_infoPanel;
    OptionsDialogRunner m_optionsDialog;
    std::unique_ptr<ConversionDriver> m_driver;
};
