#include "movie/movie_window.h"

#include "encode/settings_store.h"
#include "options/options_dlg.h"
#include "run/progress_text.h"
#include "skin/image_button.h"
#include "shell/lang.h"
#include "skin/message_box.h"
#include "shell/output_folder.h"
#include "skin/skin_util.h"
#include "widgets/file_list_ctrl.h"
#include "widgets/progress_bar_ctrl.h"

#include <utility>

namespace {

QString T(const char *key) { return Lang::Get(QString::fromLatin1(key)); }

enum Label { kCurrent, kSpeed, kTime, kTotal, kCount, kLeft };

// The list is locked during a run, commands refused meanwhile say why, and closing asks.
const PageLayout kLayout = [] {
    PageLayout l =
        LayoutOf<MovieWindow>({"IDS_SUPPORT_FILES", "IDS_SUPPORT_VFORMAT_STR", "jobList", "movie"}, false, true);
    l.noFileStyle = MB_ICONQUESTION;
    l.closeQuestionKey = "IDS_MESSAGEBOX_CONVET_EXIT";
    return l;
}();

} // namespace

MovieWindow::MovieWindow(QWidget *parent, Kind kind)
    : ConverterPage(kLayout, parent, kind)
    , m_optionsDialog([](QWidget *owner, QString &folder) { return OptionsDlg::Edit(folder, owner); })
    , m_run(std::make_unique<MovieRun>(m_engine))
{
    const std::pair<int, QRect> labels[] = {{kTitleId, {42, 337, 96, 16}},   {kSpeedId, {140, 337, 200, 16}},
                                            {kTitleId, {342, 337, 140, 16}}, {kTitleId, {42, 377, 78, 16}},
                                            {kCountId, {122, 377, 120, 16}}, {kTitleId, {250, 377, 240, 16}}};
    for (int i = 0; i < 6; ++i)
        m_labels[i] = MakeSkinLabel(Client(), labels[i].first, labels[i].second);
    auto slot = [this](int label, const QString &widest, int x) {
        return LabelSlot{m_labels[label], Titled(label, widest), x};
    };
    PlaceLabelLine({slot(kCurrent, QStringLiteral(" 100%"), 42), slot(kSpeed, QStringLiteral(" x00.00"), 0),
                    slot(kTime, ElapsedText(0), 342)});
    PlaceLabelLine({slot(kTotal, QStringLiteral(" 100%"), 42), slot(kCount, QStringLiteral("( 000 / 000 )"), 0),
                    slot(kLeft, TimeLeftText(0, 0), 250)});

    SettingsStore(T("IDS_APP_NAME")).Initialise(m_settings, IsHdChecked());
    ShowFolderLabel(OutputFolder().Text());
    ResetProgress();
    ConnectRun(*m_run);
}

// --- the run's figures in words ------------------------------------------------------------

void MovieWindow::ShowProgressTexts(const RunProgress &p)
{
    ShowLabel(kCurrent, QString::asprintf(" %3d%%", p.currentPercent));
    ShowLabel(kSpeed, p.speedFactor < 0 ? QStringLiteral(" x0.0") : QString::asprintf(" x%.2f", double(p.speedFactor)));
    ShowLabel(kTime, ElapsedText(p.elapsedSeconds));
    ShowLabel(kTotal, QString::asprintf(" %3d%%", p.totalPercent));
    ShowLabel(kCount, QString::asprintf("( %2d / %2d )", p.fileNumber, p.totalFiles));
    ShowLabel(kLeft, TimeLeftText(p.fileSecondsLeft, p.batchSecondsLeft));
}

void MovieWindow::ShowMomentTexts(RunMoment moment)
{
    switch (moment) {
    case RunMoment::Starting: break; // the last run's figures stay until the first file starts
    case RunMoment::FileStarted:
        // Never the figures of a run before: which file this is shows at once.
        ShowLabel(kCount, QString::asprintf("( %2d / %2d )", m_run->FileNumber(), m_run->TotalFiles()));
        ShowLabel(kTime, ElapsedText(m_run->ElapsedSeconds()));
        break;
    case RunMoment::FileEnded: ShowLabel(kCurrent, QStringLiteral(" 100%")); break;
    case RunMoment::Paused: ShowLabel(kSpeed, QStringLiteral(" x0.0")); break;
    }
}

void MovieWindow::ShowRunEndTexts(const RunSummary &summary)
{
    if (summary.end == RunEnd::Finished) {
        TotalBar()->SetPosition(100);
        ShowLabel(kTotal, QStringLiteral(" 100%"));
        ShowLabel(kSpeed, QStringLiteral(" x0.0"));
        ShowLabel(kLeft, TimeLeftText(0, 0));
    } else if (summary.end != RunEnd::Stopped) {
        ResetProgress();
    }
}

void MovieWindow::ResetProgress()
{
    CurrentBar()->SetPosition(0);
    TotalBar()->SetPosition(0);
    for (auto [label, text] : {std::pair{kCurrent, " 0%"}, {kSpeed, " x0.0"}, {kTotal, " 0%"}, {kCount, "( 0 / 0 )"}})
        ShowLabel(label, QString::fromLatin1(text));
    ShowLabel(kTime, ElapsedText(0));
    ShowLabel(kLeft, TimeLeftText(-1, -1));
}

QString MovieWindow::Titled(int label, const QString &value)
{
    static const char *const titles[] = {"IDS_CURRENT_TITLE", "IDS_STR_SPEED", "IDS_TIME_TITLE",
                                         "IDS_TOTAL_TITLE",   nullptr,         "IDS_TIME_LEFT_TITLE"};
    return (titles[label] ? T(titles[label]) : QString()) + value;
}

void MovieWindow::ShowLabel(int label, const QString &value) { m_labels[label]->SetWindowTextW(Titled(label, value)); }

// --- options -------------------------------------------------------------------------------

void MovieWindow::OnOptionCommand()
{
    if (RefusedWhileRunning("IDS_MESSAGEBOX_CONVERTING") || !m_optionsDialog)
        return;
    QString folder = OutputFolder().Text();
    if (m_optionsDialog(this, folder))
        SetOutputFolder(::OutputFolder(folder));
}

void MovieWindow::SetOutputFolder(const ::OutputFolder &folder)
{
    m_settings.options.SaveFolder = folder.Text();
    SettingsStore(T("IDS_APP_NAME")).Save(m_settings);
    if (!IsRunActive())
        ShowFolderLabel(folder.Text());
}
