// The movie page driven offscreen through its real widgets: its labels, options and rows, and,
// once for both pages, intake, the busy state and the end-of-run actions. How a run maps onto
// a page is tested in tst_converter_page.

#include "movie_test_support.h"

#include "encode/settings_store.h"
#include "options/options_dlg.h"
#include "page/end_message.h"
#include "platform/desktop_notification.h"
#include "platform/shell_open.h"
#include "run/reason_text.h"
#include "run/state_folder.h"
#include "shell/app_paths.h"
#include "shell/lang.h"
#include "skin/image_button.h"
#include "skin/tests/page_fixtures.h"
#include "widgets/file_list_ctrl.h"
#include "widgets/progress_bar_ctrl.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

namespace {

const int kFailed = 3, kComplete = 4;
const QString kFinish = QStringLiteral("output\nfinish\n");
const QString kHold = QStringLiteral("progress 10 1\n"); // then waits for stop
const int kWaiting = 0, kConverting = 2;

QString T(const char *key) { return Lang::Get(QString::fromLatin1(key)); }

} // namespace

class TstMovieWindow : public QObject {
    Q_OBJECT

private slots:
    void newRowIsCheckedAndWaiting();
    void intakeStopsAtFirstRefusal_data();
    void intakeStopsAtFirstRefusal();
    void deleteAsksWithNames_data();
    void deleteAsksWithNames();
    void busyBlocksEditing();
    void optionsDialogUpdatesFolder();
    void optionButtonOpensTheOptionsDialog();
    void escapeAndEnter();
    void completionActions_data();
    void completionActions();
    void progressOntoLabels();
    void fileEndsOntoRows();
    void cancelResetsTheProgress();
    void missingEngineNeverPowersOff_data();
    void missingEngineNeverPowersOff();
    void endMessageSaysWhatWasNotDone();
    void trashOnAnAccountWithoutDataFolder();
    void endMessageOpensTheSaveFolderAndTheLog();
    void endNotifiedWhenTheWindowIsNotActive();
};

void TstMovieWindow::newRowIsCheckedAndWaiting()
{
    MovieFixture f;
    const QString path = f.Script("a b 'é\".mp4", QString(2048, 'x'));
    QVERIFY(f.Window().Rows().AddFile(path));
    QCOMPARE(f.Model().RowCount(), 1);
    QVERIFY(f.Model().At(0).checked);
    QCOMPARE(f.Model().At(0).path, path);
    QCOMPARE(f.Model().index(0, 1).data().toString(), FormatFileSize(path));
    QCOMPARE(f.Model().index(0, 2).data().toString(), T("IDS_STATUS_POSSIBLE"));
    QCOMPARE(int(f.Model().At(0).status), 0);
    QVERIFY(f.Box().Questions().isEmpty());
    // Rows can be reordered before any run.
    QVERIFY(f.List().DragAllowed());
}

// Paths given to the dialog or dropped: "+name" exists and is accepted, "dir" is a folder,
// "dup" is the first file in other letter case, "txt" an unsupported file.
void TstMovieWindow::intakeStopsAtFirstRefusal_data()
{
    QTest::addColumn<bool>("drop");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("message");

    for (bool drop : {false, true}) {
        const char *how = drop ? "drop" : "dialog";
        QTest::addRow("%s: folder second", how) << drop << QStringList{"a", "dir", "b"} << 1 << false;
        QTest::addRow("%s: duplicate second", how) << drop << QStringList{"a", "dup", "b"} << 1 << true;
        QTest::addRow("%s: unsupported second", how) << drop << QStringList{"a", "txt", "b"} << 1 << true;
        QTest::addRow("%s: all good", how) << drop << QStringList{"a", "b"} << 2 << false;
    }
}

void TstMovieWindow::intakeStopsAtFirstRefusal()
{
    QFETCH(bool, drop);
    QFETCH(QStringList, paths);
    QFETCH(int, rows);
    QFETCH(bool, message);

    MovieFixture f;
    const QString dir = f.InputFolder();
    QDir().mkpath(dir + "folder.mp4");
    QStringList files;
    for (const QString &p : paths) {
        if (p == "dir")
            files << dir + "folder.mp4";
        else if (p == "dup")
            files << dir + "A.MP4";
        else if (p == "txt")
            files << f.Script("notes.txt", "x");
        else
            files << f.Script(p + ".mp4", "x");
    }
    if (drop) {
        Drop(f.List().viewport(), files);
    } else {
        ScriptedOpenDialog dialog(files);
        QTest::mouseClick(ControlsOf(f.Window()).add, Qt::LeftButton);
        QCOMPARE(dialog.calls, 1);
        QVERIFY(dialog.lastFilter.startsWith(T("IDS_SUPPORT_VFORMAT_STR") + " (*.avi *.mp4 "));
    }
    QCOMPARE(f.Model().RowCount(), rows);
    // The refusal names the file it refused: the second of each batch.
    QCOMPARE(f.BoxTexts(), message ? QStringList{T("IDS_MESSAGEBOX_FILE_SUPPORT").arg(QFileInfo(files[1]).fileName())}
                                   : QStringList{});
}

void TstMovieWindow::deleteAsksWithNames_data()
{
    QTest::addColumn<int>("checked");
    QTest::addColumn<int>("names");
    QTest::addColumn<bool>("marker");

    QTest::newRow("12 checked") << 12 << 10 << true;
    QTest::newRow("10 checked") << 10 << 10 << false;
    QTest::newRow("1 checked") << 1 << 1 << false;
    QTest::newRow("none checked, all selected") << 0 << 0 << false;
}

void TstMovieWindow::deleteAsksWithNames()
{
    QFETCH(int, checked);
    QFETCH(int, names);
    QFETCH(bool, marker);

    MovieFixture f;
    for (int i = 0; i < 14; ++i)
        QVERIFY(f.Window().Rows().AddFile(f.Script(QStringLiteral("c%1.mp4").arg(i, 2, 10, QChar('0')), "x")));
    for (int i = 0; i < 14; ++i)
        f.Model().SetChecked(f.Model().IdAt(i), i >= 1 && i <= checked);
    f.List().selectAll();

    // The Delete key asks; No keeps everything.
    f.Box().SetAnswer(IDNO);
    f.List().setFocus();
    QTest::keyClick(&f.List(), Qt::Key_Delete);
    QCOMPARE(f.Model().RowCount(), 14);
    if (checked == 0) {
        QVERIFY(f.Box().Questions().isEmpty());
        return;
    }
    const QStringList lines = f.BoxTexts().value(0).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.first(), T("IDS_MESSAGEBOX_DELETE"));
    QCOMPARE(lines.size(), 1 + names + (marker ? 1 : 0));
    QCOMPARE(lines.value(1), "c01.mp4");
    QCOMPARE(lines.last() == "<...more files...>", marker);

    f.Box().SetAnswer(IDYES);
    QTest::keyClick(&f.List(), Qt::Key_Delete);
    QCOMPARE(f.Model().RowCount(), 14 - checked);
    QVERIFY(f.Model().At(0).path.endsWith("c00.mp4"));
    QVERIFY(f.Model().At(f.Model().RowCount() - 1).path.endsWith("c13.mp4"));
}

void TstMovieWindow::busyBlocksEditing()
{
    MovieFixture f;
    f.AddScripts({"progress 10 1\n"});
    const MovieControls c = ControlsOf(f.Window());
    QTest::mouseClick(c.convert, Qt::LeftButton);
    QVERIFY(f.WaitUntilConverting());

    for (ImageButton *b : {c.add, c.del, c.option})
        QCOMPARE(b->State(), ImageButton::StateSelected);
    QVERIFY(!f.List().isEnabled());
    QVERIFY(!c.hd->isEnabled());
    QVERIFY(!c.sd->isEnabled());
    QVERIFY(c.deleteSources->isEnabled());
    QVERIFY(c.shutDown->isEnabled());
    QVERIFY(ControlsOf(f.Window()).openFolder->isEnabled());
    QVERIFY(!f.Window().acceptDrops());
    QVERIFY(f.Run().HoldsPowerInhibit());
    QCOMPARE(c.folderLabel->text(), f.SaveFolder() + "clip0.mp4");

    ScriptedOpenDialog dialog({f.Script("more.mp4", "x")});
    QTest::mouseClick(c.add, Qt::LeftButton);
    f.Window().OnAddCommand(); // even a call past the disabled look
    QCOMPARE(dialog.calls, 0);

    Drop(&f.Window(), {f.Script("dropped.mp4", "x")});
    QCOMPARE(f.Model().RowCount(), 1);
    f.Window().OnFilesDropped({f.InputFolder() + "dropped.mp4"});
    QCOMPARE(f.Model().RowCount(), 1);
    QCOMPARE(f.BoxTexts().last(), T("IDS_MESSAGEBOX_CONVERT_NO"));

    QTest::keyClick(&f.Window(), Qt::Key_Delete);
    QCOMPARE(f.BoxTexts().last(), T("IDS_MESSAGEBOX_CONVERTING"));
    f.Window().OnOptionCommand();
    QCOMPARE(f.BoxTexts().last(), T("IDS_MESSAGEBOX_CONVERTING"));
    QCOMPARE(f.Model().RowCount(), 1);

    // The check boxes and the open-folder button still answer during a run.
    QTest::mouseClick(c.deleteSources, Qt::LeftButton);
    QVERIFY(c.deleteSources->GetCheck());
    QUrl opened;
    platform::SetOpenUrlHandler([&](const QUrl &url) {
        opened = url;
        return true;
    });
    QTest::mouseClick(ControlsOf(f.Window()).openFolder, Qt::LeftButton);
    platform::SetOpenUrlHandler(nullptr);
    QCOMPARE(opened, QUrl::fromLocalFile(f.SaveFolder()));
}

void TstMovieWindow::optionsDialogUpdatesFolder()
{
    MovieFixture f;
    const QString chosen = f.InputFolder() + "elsewhere";
    int opened = 0;
    bool apply = false;
    f.Window().SetOptionsDialog([&](QWidget *, QString &folder) {
        ++opened;
        if (!apply)
            return false;
        folder = chosen;
        return true;
    });
    const ImageButton *label = ControlsOf(f.Window()).folderLabel;
    QTest::mouseClick(ControlsOf(f.Window()).option, Qt::LeftButton);
    QCOMPARE(opened, 1);
    QCOMPARE(label->text(), f.SaveFolder());

    apply = true;
    QTest::mouseClick(ControlsOf(f.Window()).option, Qt::LeftButton);
    QCOMPARE(label->text(), chosen + "/");
    QCOMPARE(f.Window().OutputFolder().Text(), chosen + "/");
    MovieSettings stored;
    QVERIFY(SettingsStore(T("IDS_APP_NAME")).Load(stored));
    QCOMPARE(stored.options.SaveFolder, chosen + "/");
}

void TstMovieWindow::optionButtonOpensTheOptionsDialog()
{
    MovieFixture f;
    QString seen;
    QTimer::singleShot(200, [&] {
        if (auto *dialog = qobject_cast<OptionsDlg *>(QApplication::activeModalWidget())) {
            seen = dialog->SaveFolder();
            dialog->reject();
        }
    });
    QTest::mouseClick(ControlsOf(f.Window()).option, Qt::LeftButton);
    QCOMPARE(seen, f.SaveFolder());
    QCOMPARE(f.Window().OutputFolder().Text(), f.SaveFolder());
}

void TstMovieWindow::escapeAndEnter()
{
    MovieFixture f;
    QVERIFY(f.Window().isVisible());
    QTest::keyClick(&f.Window(), Qt::Key_Return);
    QVERIFY(f.Window().isVisible());
    QVERIFY(!f.Window().IsRunActive());
    QTest::keyClick(&f.Window(), Qt::Key_Escape);
    QVERIFY(!f.Window().isVisible());
    QVERIFY(f.Box().Questions().isEmpty());
    QCOMPARE(f.Window().result(), int(QDialog::Accepted));
}

void TstMovieWindow::completionActions_data()
{
    QTest::addColumn<QStringList>("scripts");
    QTest::addColumn<bool>("deleteBox");
    QTest::addColumn<bool>("shutdownBox");
    QTest::addColumn<QList<bool>>("sourceKept");
    QTest::addColumn<bool>("message");

    const QString fail = QStringLiteral("output\nfail 2\n");
    QTest::newRow("last ok, delete box") << QStringList{kFinish, fail, kFinish} << true << false
                                         << QList<bool>{false, true, false} << true;
    QTest::newRow("last ok, both boxes") << QStringList{kFinish, kFinish} << true << true << QList<bool>{false, false}
                                         << false;
    QTest::newRow("last failed, both boxes")
        << QStringList{kFinish, fail} << true << true << QList<bool>{true, true} << false;
    QTest::newRow("last failed, delete box")
        << QStringList{kFinish, fail} << true << false << QList<bool>{true, true} << true;
    QTest::newRow("last ok, no box") << QStringList{kFinish, kFinish} << false << false << QList<bool>{true, true}
                                     << true;
}

void TstMovieWindow::completionActions()
{
    QFETCH(QStringList, scripts);
    QFETCH(bool, deleteBox);
    QFETCH(bool, shutdownBox);
    QFETCH(QList<bool>, sourceKept);
    QFETCH(bool, message);

    MovieFixture f;
    f.AddScripts(scripts);
    QStringList sources;
    for (int row = 0; row < f.Model().RowCount(); ++row)
        sources << f.Model().At(row).path;
    const MovieControls c = ControlsOf(f.Window());
    c.deleteSources->SetCheck(deleteBox);
    c.shutDown->SetCheck(shutdownBox);

    // When the end message shows, every source is still there and the window is idle.
    bool allThereAtMessage = false;
    bool idleAtMessage = false;
    ScriptedMessageBox box([&](const MessageBoxQuestion &) {
        allThereAtMessage =
            std::all_of(sources.begin(), sources.end(), [](const QString &s) { return QFileInfo::exists(s); });
        idleAtMessage = !f.Window().IsRunActive() && c.convert->isVisible();
        return IDOK;
    });
    f.Window().OnConvertCommand();
    QTRY_VERIFY_WITH_TIMEOUT(!f.Window().IsRunActive(), 10000);

    QCOMPARE(box.Questions().size(), message ? 1 : 0);
    if (message) {
        QCOMPARE(box.Questions()[0].text.section('\n', 0, 0), T("IDS_MESSAGEBOX_CONVERT_END"));
        QVERIFY(allThereAtMessage);
        QVERIFY(idleAtMessage);
    }
    QCOMPARE(f.PowerOffRequests(), shutdownBox ? 1 : 0);
    int keptRows = 0;
    for (int i = 0; i < sources.size(); ++i) {
        QCOMPARE(QFileInfo::exists(sources[i]), sourceKept[i]);
        keptRows += sourceKept[i];
    }
    QCOMPARE(f.Model().RowCount(), keptRows);
    // Every output of a finished file is still there.
    for (int row = 0; row < sources.size(); ++row) {
        if (scripts[row] == kFinish)
            QVERIFY(QFileInfo(f.SaveFolder() + QStringLiteral("clip%1.mp4").arg(row)).size() > 0);
    }
}

void TstMovieWindow::progressOntoLabels()
{
    MovieFixture f;
    f.AddScripts({"progress 50 7.25\n", kFinish, kFinish});
    f.Window().OnConvertCommand();
    QTRY_VERIFY_WITH_TIMEOUT(f.Run().LastStatus().Percent == 50, 10000);
    const MovieControls c = ControlsOf(f.Window());
    QCOMPARE(c.folderLabel->text(), f.SaveFolder() + "clip0.mp4");
    QCOMPARE(f.Statuses(), (QList<int>{kConverting, kWaiting, kWaiting}));
    f.Run().Tick();
    QCOMPARE(c.currentTitle->text(), T("IDS_CURRENT_TITLE") + "  50%");
    QCOMPARE(c.totalTitle->text(), T("IDS_TOTAL_TITLE") + "  16%");
    QCOMPARE(c.count->text(), "(  1 /  3 )");
    QCOMPARE(c.time->text(), T("IDS_TIME_TITLE") + " 00:00:01");
    QCOMPARE(c.speed->text(), T("IDS_STR_SPEED") + " x7.25");
    QCOMPARE(c.currentBar->Position(), 50);
    QCOMPARE(c.totalBar->Position(), 16);
    // A script is no media: no length, so no estimate yet.
    QCOMPARE(f.Window().Label(5)->text(), T("IDS_TIME_LEFT_TITLE") + " — / —");
}

// Rows of a finished run: converted and failed ones unchecked, a failed one with its reason;
// the page idle again.
void TstMovieWindow::fileEndsOntoRows()
{
    MovieFixture f;
    f.AddScripts({kFinish, "fail 13\n", "finish\n"});
    f.Window().OnConvertCommand();
    QVERIFY(f.WaitForEnd());
    QCOMPARE(f.Statuses(), (QList<int>{kComplete, kFailed, kFailed}));
    for (int row = 0; row < 3; ++row)
        QVERIFY(!f.Model().At(row).checked);
    QCOMPARE(f.Model().At(0).last.reason, Reason{});
    QCOMPARE(f.Model().At(1).last.reason, Reason::Engine(13));
    QCOMPARE(f.Model().At(2).last.reason, Reason::Of(ReasonKind::NoOutput));
    const MovieControls c = ControlsOf(f.Window());
    QVERIFY(c.convert->isVisible());
    QVERIFY(!c.pause->isVisible());
    QCOMPARE(c.cancel->State(), ImageButton::StateSelected);
    QCOMPARE(c.add->State(), ImageButton::StateNormal);
    QVERIFY(f.List().isEnabled());
    QVERIFY(f.List().DragAllowed());
    QCOMPARE(c.folderLabel->text(), f.SaveFolder());
    QCOMPARE(c.totalTitle->text(), T("IDS_TOTAL_TITLE") + " 100%");
    QCOMPARE(c.speed->text(), T("IDS_STR_SPEED") + " x0.0");
    // The end message says what failed and why, and does not read as a plain success.
    const auto questions = f.Box().Questions();
    QCOMPARE(questions.size(), 1);
    QCOMPARE(questions[0].text, T("IDS_MESSAGEBOX_CONVERT_END") + "\n1 converted, 2 failed");
    QCOMPARE(questions[0].style, unsigned(MB_ICONEXCLAMATION));
    QCOMPARE(questions[0].details, (QStringList{"clip1.mp4: " + ReasonText(Reason::Engine(13)),
                                                "clip2.mp4: " + ReasonText(Reason::Of(ReasonKind::NoOutput))}));
    QCOMPARE(f.Model().index(1, 2).data(Qt::ToolTipRole).toString(), ReasonText(Reason::Engine(13)));

    // A new run starts every row waiting again.
    f.Script("clip1.mp4", kHold);
    f.Model().SetChecked(f.Model().IdAt(1), true);
    f.Window().OnConvertCommand();
    QVERIFY(f.WaitUntilConverting());
    QCOMPARE(f.Statuses(), (QList<int>{kWaiting, kConverting, kWaiting}));
    QCOMPARE(f.Run().CurrentOutputPath(), f.SaveFolder() + "clip1.mp4");
}

void TstMovieWindow::cancelResetsTheProgress()
{
    MovieFixture f;
    f.AddScripts({kFinish, "output\nprogress 20 3\n", kFinish});
    f.Window().OnConvertCommand();
    QTRY_VERIFY_WITH_TIMEOUT(f.Run().CurrentId() == f.Model().IdAt(1), 10000);
    const MovieControls c = ControlsOf(f.Window());

    f.Box().SetAnswer(IDNO);
    QTest::mouseClick(c.cancel, Qt::LeftButton);
    QCOMPARE(f.BoxTexts().last(), T("IDS_MESSAGEBOX_CANCEL"));
    QVERIFY(f.Window().IsRunActive());

    f.Box().SetAnswer(IDYES);
    QTest::mouseClick(c.cancel, Qt::LeftButton);
    QVERIFY(f.WaitForEnd());
    QCOMPARE(f.Statuses(), (QList<int>{kComplete, kWaiting, kWaiting}));
    QVERIFY(!f.Model().At(0).checked);
    QVERIFY(f.Model().At(1).checked);
    QVERIFY(f.Model().At(2).checked);
    // No end message, the sources stay, the page idle, the progress reset.
    QCOMPARE(f.BoxTexts().size(), 2);
    QVERIFY(QFileInfo::exists(f.Model().At(0).path));
    QVERIFY(c.convert->isVisible());
    QCOMPARE(c.cancel->State(), ImageButton::StateSelected);
    QCOMPARE(c.count->text(), "( 0 / 0 )");
    QCOMPARE(c.totalBar->Position(), 0);
    QCOMPARE(c.time->text(), T("IDS_TIME_TITLE") + " 00:00:00");
    QVERIFY(f.List().isEnabled());
    QVERIFY(f.List().DragAllowed());
}

void TstMovieWindow::missingEngineNeverPowersOff_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("no engine program") << "/nonexistent/folder/mencoder";
    QTest::newRow("ends before it connects") << "/bin/false";
}

// An engine that cannot be created converts nothing: one error, and none of what a finished
// run does, even with both boxes ticked.
void TstMovieWindow::missingEngineNeverPowersOff()
{
    QFETCH(QString, engine);
    MovieFixture f;
    f.Window().Engine().SetEnginePath(engine.toStdString());
    f.AddScripts({kFinish, kFinish});
    const MovieControls c = ControlsOf(f.Window());
    c.deleteSources->SetCheck(true);
    c.shutDown->SetCheck(true);
    f.Window().OnConvertCommand();
    QVERIFY(f.WaitForEnd());
    QCOMPARE(f.PowerOffRequests(), 0);
    const auto questions = f.Box().Questions();
    QCOMPARE(questions.size(), 1);
    QCOMPARE(questions[0].text, T("IDS_ERR_ENGINE_CREATE_FAIL"));
    QCOMPARE(questions[0].caption, T("IDS_WORD_ERROR"));
    QCOMPARE(f.Statuses(), (QList<int>{kWaiting, kWaiting}));
    QVERIFY(f.Model().At(0).checked);
    QVERIFY(QFileInfo::exists(f.Model().At(0).path));
    QVERIFY(c.convert->isVisible());
    QCOMPARE(c.add->State(), ImageButton::StateNormal);
}

// No trash can be made below a file: the source stays, and the power-off's refusal is told.
void TstMovieWindow::endMessageSaysWhatWasNotDone()
{
    platform::ScopedNotifications notifications;
    MovieFixture f;
    QByteArray listAtPowerOff; // by then the list must hold the converted row, not the converting one
    platform::SetPowerOffHandler([&] {
        QFile list(f.Window().KeptList().FilePath());
        listAtPowerOff = list.open(QIODevice::ReadOnly) ? list.readAll() : "no list";
        return platform::PowerOffAnswer{false, "Access denied"};
    });
    f.AddScripts({kFinish});
    const QString source = f.Model().At(0).path;
    for (ImageButton *box : {ControlsOf(f.Window()).deleteSources, ControlsOf(f.Window()).shutDown})
        box->SetCheck(true);
    const auto restore = qScopeGuard([data = qgetenv("XDG_DATA_HOME")] { qputenv("XDG_DATA_HOME", data); });
    qputenv("XDG_DATA_HOME", QFile::encodeName(source + "/data"));
    f.Window().OnConvertCommand();
    QVERIFY(f.WaitForEnd());
    const QString kept = "clip0.mp4 stayed where it was: the trash cannot take it";
    QCOMPARE(notifications.Sent().value(0).body, "1 converted\n" + kept);
    QVERIFY(listAtPowerOff.contains("\"status\":4"));
    QCOMPARE(f.BoxTexts(), QStringList{T("IDS_MESSAGEBOX_CONVERT_END")
                                       + "\n1 converted\nThe computer was not powered off: Access denied"});
    QCOMPARE(f.Box().Questions()[0].details, QStringList{kept});
    QVERIFY(QFileInfo::exists(f.Model().At(0).path)); // the source stays, and its row
}

// Without a data folder, Qt would move a "trashed" source into files/ under the current
// folder and call that success.
void TstMovieWindow::trashOnAnAccountWithoutDataFolder()
{
    QTemporaryDir tmp;
    QVERIFY(QDir().mkpath(tmp.path() + "/cwd"));
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    const QString oldCwd = QDir::currentPath();
    qputenv("XDG_DATA_HOME", QFile::encodeName(tmp.path() + "/new/data"));
    QDir::setCurrent(tmp.path() + "/cwd");

    MovieFixture f;
    f.AddScripts({kFinish});
    const QString source = f.Model().At(0).path;
    ControlsOf(f.Window()).deleteSources->SetCheck(true);
    f.Window().OnConvertCommand();
    const bool ended = f.WaitForEnd();
    QDir::setCurrent(oldCwd);
    qputenv("XDG_DATA_HOME", oldData);

    QVERIFY(ended);
    QVERIFY(!QFileInfo::exists(source));
    QVERIFY(QFileInfo::exists(tmp.path() + "/new/data/Trash/files/clip0.mp4"));
    QVERIFY(QDir(tmp.path() + "/cwd").isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    QCOMPARE(f.Model().RowCount(), 0);
}

void TstMovieWindow::endMessageOpensTheSaveFolderAndTheLog()
{
    MovieFixture f;
    f.AddScripts({kFinish});
    QList<QUrl> opened;
    platform::SetOpenUrlHandler([&](const QUrl &url) {
        opened << url;
        return true;
    });
    int asked = 0;
    int actions = 0;
    ScriptedMessageBox box([&](const MessageBoxQuestion &q) {
        actions = int(q.actions.size());
        return kFirstAction + (asked++ == 0 ? int(kOpenSaveFolder) : int(kOpenLog));
    });
    f.Window().OnConvertCommand();
    QVERIFY(f.WaitForEnd());
    f.AddScripts({kFinish});
    f.Window().OnConvertCommand();
    QVERIFY(f.WaitForEnd());
    platform::SetOpenUrlHandler(nullptr);
    QCOMPARE(actions, 2);
    QCOMPARE(opened, (QList<QUrl>{QUrl::fromLocalFile(f.SaveFolder()), QUrl::fromLocalFile(RunLogPath())}));
}

void TstMovieWindow::endNotifiedWhenTheWindowIsNotActive()
{
    platform::ScopedNotifications notifications;
    MovieFixture f;
    QWidget elsewhere;
    elsewhere.show();

    f.AddScripts({kFinish});
    QApplication::setActiveWindow(&f.Window());
    QTRY_VERIFY(f.Window().isActiveWindow());
    f.Window().OnConvertCommand();
    QVERIFY(f.WaitForEnd());
    QVERIFY(notifications.Sent().isEmpty()); // the user saw the end message

    f.AddScripts({"fail 11\n"});
    QApplication::setActiveWindow(&elsewhere);
    QTRY_VERIFY(!f.Window().isActiveWindow());
    const int asked = int(f.Box().Questions().size());
    f.Window().OnConvertCommand();
    QVERIFY(f.WaitForEnd());
    QCOMPARE(notifications.Sent().size(), 1);
    QCOMPARE(int(f.Box().Questions().size()), asked); // the end message waits for the user
    QCOMPARE(notifications.Sent()[0].summary, T("IDS_MESSAGEBOX_CONVERT_END"));
    QCOMPARE(notifications.Sent()[0].body, "No file was converted: all 1 failed.\nclip1.mp4: not a media file");
    // Clicking it brings the window back.
    f.Window().showMinimized();
    QTRY_VERIFY(f.Window().isMinimized());
    QVERIFY(notifications.ClickLast());
    QTRY_VERIFY(!f.Window().isMinimized());
    QVERIFY(f.Window().isVisible());
    QApplication::setActiveWindow(&f.Window()); // as the window manager does then
    QTRY_COMPARE(int(f.Box().Questions().size()), asked + 1);

    // Powering off: the notification carries the summary; no message waits for anyone.
    f.AddScripts({kFinish});
    ControlsOf(f.Window()).shutDown->SetCheck(true);
    f.Window().OnConvertCommand();
    QVERIFY(f.WaitForEnd());
    QCOMPARE(notifications.Sent().size(), 2);
    QCOMPARE(notifications.Sent()[1].body, "1 converted");
    QCOMPARE(int(f.Box().Questions().size()), asked + 1);
    QCOMPARE(f.PowerOffRequests(), 1);
}

QTEST_MAIN(TstMovieWindow)
#include "tst_movie_window.moc"
