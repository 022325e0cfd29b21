// The shared page against a run the test drives: how a run's states, files, figures and end
// map onto the buttons, rows and bars, the commands that reach it, a run ending while a
// question is open, and closing during a run. Each mode's words are its own page's tests.

#include "page/converter_page.h"
#include "platform/shutdown.h"
#include "shell/lang.h"
#include "skin/image_button.h"
#include "widgets/file_list_ctrl.h"
#include "widgets/progress_bar_ctrl.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString T(const char *key) { return Lang::Get(QString::fromLatin1(key)); }

// A run that does what the test makes it do, and counts what the page asked of it.
class FakeRun : public Run {
public:
    bool Start(const RunRequest &request) override
    {
        if (IsActive() || request.jobs.isEmpty())
            return false;
        started << request;
        Set(State::Starting);
        return true;
    }
    void Pause() override { asked << "pause"; }
    void Resume() override { asked << "resume"; }
    void Cancel() override { asked << "cancel"; }
    void Stop() override { asked << "stop"; }
    State CurrentState() const override { return m_state; }

    void Set(State state) { emit stateChanged(m_state = state); }
    void End(RunEnd end)
    {
        Set(State::Ended);
        emit runEnded({end, {}, true, {}});
    }

    QList<RunRequest> started;
    QStringList asked;

private:
    State m_state = State::Idle;
};

class TestPage : public ConverterPage {
public:
    enum { kConvertId = 1, kCancelId, kPauseId, kResumeId, kAddId, kDeleteId, kOptionId, kHdId, kSdId };
    enum { kDeleteSourcesId = 10, kShutDownId, kFolderLabelId, kOpenFolderId };
    static constexpr int kClientHeight = 417;

    explicit TestPage(bool askOnClose)
        : ConverterPage(Layout(askOnClose), nullptr, Kind::Window)
    {
        ConnectRun(run);
    }
    static PageLayout Layout(bool askOnClose)
    {
        PageLayout l = LayoutOf<TestPage>({"IDS_SUPPORT_FILES", "IDS_SUPPORT_VFORMAT_STR", "list", ""}, false, true);
        l.noFileStyle = MB_ICONQUESTION;
        l.closeQuestionKey = askOnClose ? "IDS_MESSAGEBOX_CONVET_EXIT" : nullptr;
        return l;
    }
    ::OutputFolder OutputFolder() const override { return ::OutputFolder(folder.path()); }
    void OnOptionCommand() override {}
    bool Shows(int id) { return !Button(id)->isHidden(); }

    FakeRun run;
    QTemporaryDir folder;
    QStringList moments; // the page hooks, as they were called
    RunProgress shown;

protected:
    void FillRequest(RunRequest &request) const override { request.rotateSteps = 3; }
    void ShowProgressTexts(const RunProgress &progress) override { shown = progress; }
    void ShowMomentTexts(RunMoment moment) override { moments << QString::number(int(moment)); }
    void ShowRunEndTexts(const RunSummary &summary) override { moments << "end " + QString::number(int(summary.end)); }
};

using State = Run::State;

} // namespace

class TstConverterPage : public QObject {
    Q_OBJECT

private slots:
    void runOntoControls();
    void runEndingWhileAQuestionIsOpen_data();
    void runEndingWhileAQuestionIsOpen();
    void closeWaitsForTheRunToEnd_data();
    void closeWaitsForTheRunToEnd();

private:
    QStringList MakeFiles(int n);
    QTemporaryDir m_tmp;
};

QStringList TstConverterPage::MakeFiles(int n)
{
    QStringList paths;
    for (int i = 0; i < n; ++i) {
        paths << m_tmp.filePath(QStringLiteral("f%1.mp4").arg(i));
        QFile(paths.last()).open(QIODevice::WriteOnly);
    }
    return paths;
}

void TstConverterPage::runOntoControls()
{
    ScriptedMessageBox box(IDNO);
    TestPage page(true);
    FileListCtrl &list = page.List();
    const JobListModel &model = page.Rows().Model();
    QSignalSpy active(&page, &ConverterPage::runActiveChanged);
    page.OnConvertCommand();
    QCOMPARE(box.Questions().value(0).text, T("IDS_MESSAGEBOX_NO_FILE"));
    QCOMPARE(box.Questions().value(0).style, unsigned(MB_ICONQUESTION));
    const QStringList files = MakeFiles(3);
    page.Rows().AddFiles(files);
    const int id0 = model.IdAt(0), id2 = model.IdAt(2);
    page.Rows().Model().SetChecked(model.IdAt(1), false);
    page.Rows().Model().SetStatus(id2, RowStatus::Failed); // from a run before

    page.OnConvertCommand();
    page.OnConvertCommand(); // active: refused, and said so
    QCOMPARE(box.Questions().value(1).text, T("IDS_MESSAGEBOX_CONVERT_INFO"));
    QCOMPARE(page.run.started.size(), 1);
    const RunRequest request = page.run.started[0];
    QCOMPARE(request.jobs.size(), 2);
    QCOMPARE(request.jobs[1].id, id2);
    QCOMPARE(request.jobs[1].sourcePath, files[2]);
    QCOMPARE(request.outputFolder, page.OutputFolder());
    QVERIFY(request.hd);
    QCOMPARE(request.rotateSteps, 3); // the page's own part
    QCOMPARE(model.At(2).status, RowStatus::Waiting);
    QVERIFY(!page.Shows(TestPage::kConvertId) && page.Shows(TestPage::kPauseId));
    QCOMPARE(page.Button(TestPage::kCancelId)->State(), ImageButton::StateNormal);
    QCOMPARE(page.Button(TestPage::kAddId)->State(), ImageButton::StateSelected);
    QVERIFY(!list.isEnabled() && !list.DragAllowed() && model.IsOrderLocked());
    QCOMPARE(active.size(), 1);

    // A file waiting to start (a movie's engine) is not converting yet.
    emit page.run.fileStarted(id0, "/out/f0.x");
    QCOMPARE(page.Button(TestPage::kFolderLabelId)->text(), "/out/f0.x");
    QCOMPARE(model.At(0).status, RowStatus::Waiting);
    page.run.Set(State::Converting);
    QCOMPARE(model.At(0).status, RowStatus::Converting);
    emit page.run.progressChanged({1, 2, 0, 40, 20, 5, 1.5f, 10, 30});
    QCOMPARE(page.CurrentBar()->Position(), 40);
    QCOMPARE(page.TotalBar()->Position(), 20);
    QCOMPARE(page.shown.batchSecondsLeft, 30);
    page.OnPauseCommand();
    page.run.Set(State::Paused);
    QVERIFY(page.Shows(TestPage::kResumeId) && !page.Shows(TestPage::kPauseId));
    emit page.run.fileEnded({id0, files[0], "/out/f0.x", Outcome::Done, {}});
    QCOMPARE(page.CurrentBar()->Position(), 100);
    QCOMPARE(model.At(0).status, RowStatus::Complete);
    QVERIFY(!model.At(0).checked);
    page.OnResumeCommand();
    page.run.Set(State::Converting);
    QVERIFY(page.Shows(TestPage::kPauseId));
    // The run converts already: a file that starts converts at once.
    emit page.run.fileStarted(id2, "/out/f2.x");
    QCOMPARE(model.At(2).status, RowStatus::Converting);
    page.OnCancelCommand(); // No
    box.SetAnswer(IDYES);
    page.OnCancelCommand();
    QCOMPARE(box.Questions().value(3).text, T("IDS_MESSAGEBOX_CANCEL"));
    page.run.Set(State::Stopping);
    page.OnCancelCommand(); // stopping already: nothing asked
    emit page.run.fileEnded({id2, files[2], "/out/f2.x", Outcome::Cancelled, {}});
    QCOMPARE(model.At(2).status, RowStatus::Waiting);
    QVERIFY(model.At(2).checked);
    page.run.End(RunEnd::Cancelled);

    QCOMPARE(page.run.asked, (QStringList{"pause", "resume", "cancel"}));
    QVERIFY(page.Shows(TestPage::kConvertId) && !page.Shows(TestPage::kResumeId));
    QCOMPARE(page.Button(TestPage::kCancelId)->State(), ImageButton::StateSelected);
    QCOMPARE(page.Button(TestPage::kAddId)->State(), ImageButton::StateNormal);
    QVERIFY(list.isEnabled() && list.DragAllowed() && !model.IsOrderLocked());
    QCOMPARE(page.Button(TestPage::kFolderLabelId)->text(), page.OutputFolder().Text());
    QCOMPARE(active.size(), 2);
    QCOMPARE(active.last().first().toBool(), false);
    // Starting, a file started, a pause, a file done, a file started, and the end.
    QCOMPARE(page.moments, (QStringList{"0", "1", "3", "2", "1", "end 1"}));
    QCOMPARE(box.Questions().size(), 4);
}

void TstConverterPage::runEndingWhileAQuestionIsOpen_data()
{
    QTest::addColumn<bool>("close");
    QTest::addColumn<int>("answer");
    QTest::newRow("cancel, yes") << false << IDYES;
    QTest::newRow("cancel, no") << false << IDNO;
    QTest::newRow("close, yes") << true << IDYES;
    QTest::newRow("close, no") << true << IDNO;
}

// The run finishes inside the question: Yes takes it as stopped (no end-of-run action), No lets
// it end as it would have: here with a power-off.
void TstConverterPage::runEndingWhileAQuestionIsOpen()
{
    QFETCH(bool, close);
    QFETCH(int, answer);
    platform::ScopedPowerOff power(true);
    TestPage page(true);
    page.Rows().AddFiles(MakeFiles(1));
    page.Button(TestPage::kShutDownId)->SetCheck(true);
    ScriptedMessageBox box([&](const MessageBoxQuestion &) {
        page.run.End(RunEnd::Finished);
        return answer;
    });
    page.OnConvertCommand();
    if (close)
        QCOMPARE(page.ConfirmExit(), answer == IDYES);
    else
        page.OnCancelCommand();
    QCOMPARE(box.Questions().size(), 1);
    QCOMPARE(power.Requests(), answer == IDYES ? 0 : 1);
}

void TstConverterPage::closeWaitsForTheRunToEnd_data()
{
    QTest::addColumn<bool>("ask");
    QTest::newRow("the page asks first") << true;
    QTest::newRow("the page stops at once") << false;
}

void TstConverterPage::closeWaitsForTheRunToEnd()
{
    QFETCH(bool, ask);
    ScriptedMessageBox box(IDYES);
    platform::ScopedPowerOff power(true);
    TestPage page(ask);
    page.Button(TestPage::kShutDownId)->SetCheck(true);
    page.show();
    QVERIFY(page.ConfirmExit()); // idle: nothing asked, nothing stopped
    page.Rows().AddFiles(MakeFiles(1));
    page.OnConvertCommand();
    page.close();
    page.run.Set(State::Stopping);
    page.close(); // under way: changes nothing
    QCOMPARE(page.run.asked, QStringList{"stop"});
    QVERIFY(page.isVisible());
    page.run.End(RunEnd::Stopped);
    QVERIFY(!page.isVisible());
    QCOMPARE(page.result(), int(QDialog::Accepted));
    QCOMPARE(box.Questions().size(), ask ? 1 : 0);
    QCOMPARE(power.Requests(), 0);
}

QTEST_MAIN(TstConverterPage)
#include "tst_converter_page.moc"
