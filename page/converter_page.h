#pragma once

#include "page/job_rows.h"
#include "page/list_keeper.h"
#include "run/run.h"
#include "run/run_outcome.h"
#include "shell/output_folder.h"
#include "skin/message_box.h"
#include "skin/skin_dialog.h"

#include <QList>
#include <QPixmap>

#include <memory>
#include <optional>

class FileListCtrl;
class ImageButton;
namespace platform {
class DesktopNotifier;
}
class ProgressBarCtrl;

// Where the two pages differ in the controls they share: ids, the list's extensions, whether
// the list stays usable during a run and how the page speaks when a command cannot go on.
struct PageLayout {
    int clientHeight = 417;
    int convertId = 0, cancelId = 0, pauseId = 0, resumeId = 0;
    int addId = 0, deleteId = 0, optionId = 0;
    int hdId = 0, sdId = 0, deleteSourcesId = 0, shutDownId = 0;
    int folderLabelId = 0, openFolderId = 0;
    QString extensionsKey;          // accepted extensions in the language file
    QString formatTitleKey;         // their name in the open-file dialog
    QString listName;               // the list's object name
    QString keptListName;           // the key its unfinished rows are kept under between starts
    bool listLiveWhileBusy = false; // checks may change during a run
    bool noticesWhileBusy = false;  // refused commands say why during a run
    unsigned noFileStyle = 0;       // the box that says no row is checked
    // Asked before closing stops a run; without one, closing stops it at once.
    const char *closeQuestionKey = nullptr;
};

// The language-file keys and object names a page's list goes by.
struct PageNames {
    const char *extensionsKey;
    const char *formatTitleKey;
    const char *listName;
    const char *keptListName;
};

// The layout of a page class that names its ids as both pages do (kConvertId ...).
template <class Page>
PageLayout LayoutOf(const PageNames &names, bool listLiveWhileBusy, bool noticesWhileBusy)
{
    PageLayout l;
    l.extensionsKey = QString::fromLatin1(names.extensionsKey);
    l.formatTitleKey = QString::fromLatin1(names.formatTitleKey);
    l.listName = QString::fromLatin1(names.listName);
    l.keptListName = QString::fromLatin1(names.keptListName);
    l.listLiveWhileBusy = listLiveWhileBusy;
    l.noticesWhileBusy = noticesWhileBusy;
    l.clientHeight = Page::kClientHeight;
    l.convertId = Page::kConvertId;
    l.cancelId = Page::kCancelId;
    l.pauseId = Page::kPauseId;
    l.resumeId = Page::kResumeId;
    l.addId = Page::kAddId;
    l.deleteId = Page::kDeleteId;
    l.optionId = Page::kOptionId;
    l.hdId = Page::kHdId;
    l.sdId = Page::kSdId;
    l.deleteSourcesId = Page::kDeleteSourcesId;
    l.shutDownId = Page::kShutDownId;
    l.folderLabelId = Page::kFolderLabelId;
    l.openFolderId = Page::kOpenFolderId;
    return l;
}

// What both conversion pages share: the skinned page with its list, its buttons, the two
// progress bars and the two end-of-run boxes; adding, dropping and deleting files; and the
// page's run, mapped onto the controls here once: its state onto the buttons and the busy
// look, its files onto the rows and the folder label, its figures onto the bars, its end onto
// the end-of-run actions. A page adds its settings, its options dialog, how it fills a run's
// request and the words of its labels. Window thread.
class ConverterPage : public SkinDialog {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 700;

    ConverterPage(const PageLayout &layout, QWidget *parent, Kind kind);

    // Controls by id (nullptr for an unknown id), the list and the two progress bars.
    ImageButton *Button(int id) const;
    FileListCtrl &List() { return *m_list; }
    JobRows &Rows() { return m_rows; }
    ListKeeper &KeptList() { return *m_keeper; }
    ProgressBarCtrl *CurrentBar() const { return m_currentBar; }
    ProgressBarCtrl *TotalBar() const { return m_totalBar; }
    bool IsHdChecked() const;

    // The page's run has started and not ended: mode switches are refused meanwhile.
    bool IsRunActive() const { return m_pageRun && m_pageRun->IsActive(); }
    // Where the page's runs write, as its settings keep it.
    virtual ::OutputFolder OutputFolder() const = 0;
    // For closing: stops an active run, asking first where the page asks (No: false, the run
    // goes on). True when the page may close, once IsRunActive() is false: at once, or when
    // runActiveChanged(false) comes, for nobody waits for the run. No end-of-run action runs,
    // also when the run ended while the question was open; on No such a run ends as it would
    // have. A run already stopping is not asked about.
    bool ConfirmExit();

    // Commands, as the buttons, keys and drops run them.
    void OnAddCommand();
    void OnDeleteCommand();
    void OnOpenFolderCommand();
    void OnFilesDropped(const QStringList &paths);
    void OnConvertCommand();
    void OnCancelCommand();
    void OnPauseCommand();
    void OnResumeCommand();
    virtual void OnOptionCommand() = 0;

signals:
    // A power-off is about to be requested: whatever else is kept must reach the disk now.
    void aboutToPowerOff();
    // The page's run became active (Convert accepted) or inactive (it has ended).
    void runActiveChanged(bool active);

protected:
    // The page's run, mapped onto the controls from here on; once, from the page's constructor.
    void ConnectRun(Run &run);
    // What a run needs beyond the checked rows, the HD choice and the output folder.
    virtual void FillRequest(RunRequest &request) const = 0;
    // The words of the page's labels for the run's figures (the bars follow them here).
    virtual void ShowProgressTexts(const RunProgress &progress) = 0;
    // Moments of a run where a page's labels change beside its figures: a run about to start,
    // a file started, a file done or failed, a pause.
    enum class RunMoment { Starting, FileStarted, FileEnded, Paused };
    virtual void ShowMomentTexts(RunMoment moment) { Q_UNUSED(moment); }
    // The labels once the run has ended, before the end-of-run actions.
    virtual void ShowRunEndTexts(const RunSummary &summary) = 0;

    void ShowFolderLabel(const QString &text);
    // A refused command while a run is active; says why where the page does.
    bool RefusedWhileRunning(const char *noticeKey);

    void PaintClient(QPainter &painter, const QRect &dirty) override;
    // A close during a run stops it (ConfirmExit) and closes the page once it has ended.
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

    // Makes a page's own control known to Button(id).
    ImageButton *Add(ImageButton *button);

private:
    enum class RunLook { Idle, Running, Paused };
    // Which of Convert, Pause and Resume shows, and whether Cancel can be pressed.
    void ShowRunLook(RunLook look);
    // Busy: Add, Delete and Options take their disabled look, drops are refused, rows stay
    // where they are (no drag, and the model refuses moves) and HD/SD cannot change.
    void SetBusy(bool busy);
    // Asks whether to stop the run (cancel, close): true on Yes. The event loop runs while the
    // question is open, so the run may end meanwhile; its end then waits for the answer: Yes
    // takes it as stopped (none of the end-of-run actions), No lets it end as it would have.
    bool AskToStopRun(const char *questionKey);
    // The end-of-run actions: the end message, then the sources of converted files to the
    // trash when asked (the boxes are read after the message, which the user may answer
    // after changing them), or the power-off instead of the message, with the kept lists on
    // disk first. Nothing for a run that did not finish. A user busy in another window, or
    // about to lose the screen to the power-off, hears of the end through a desktop
    // notification; the end message then waits for the window's next activation. Sources the
    // trash would not take stay, and the user is told which and why; a refused power-off shows
    // the end message after all, with the system's reason.
    void FinishRun(const RunSummary &ended);
    // The end message and what follows it, once the user is there to see it.
    void ShowRunEnd(RunSummary summary);
    bool eventFilter(QObject *watched, QEvent *event) override;

    void OnRunStateChanged(Run::State state);
    void OnFileStarted(int id, const QString &outputPath);
    void OnFileEnded(const FileEnd &end);
    void OnProgress(const RunProgress &progress);
    void OnRunEnded(const RunSummary &summary);
    // The end message with its two actions: the output folder and the log.
    void ShowEndMessage(const MessageBoxQuestion &message);

    PageLayout m_layout;
    FileListCtrl *m_list = nullptr;
    JobRows m_rows;
    ProgressBarCtrl *m_currentBar = nullptr;
    ProgressBarCtrl *m_totalBar = nullptr;
    QList<ImageButton *> m_buttons;
    QPixmap m_listPanel;
    QPixmap m_infoPanel;
    platform::DesktopNotifier *m_notifier = nullptr;
    Run *m_pageRun = nullptr;
    int m_idInWork = kNoRowId;     // the row of the file the run started last, until it ends
    bool m_reportedActive = false; // as runActiveChanged last said
    bool m_closeWhenEnded = false; // a close waits for the run to end
    bool m_stopQuestionOpen = false;
    std::optional<RunSummary> m_heldEnd;        // a run that ended while the stop question was open
    std::optional<RunSummary> m_summaryWaiting; // for the window's next activation
    std::unique_ptr<ListKeeper> m_keeper;       // goes first: its last write reads the list
};
