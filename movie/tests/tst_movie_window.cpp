// The movie page's intake, commands, busy state, options and end-of-run actions, driven
// offscreen through its real widgets; output naming on real files.

#include "movie_test_support.h"

#include "encode/settings_store.h"
#include "movie/completion_actions.h"
#include "movie/output_naming.h"
#include "options/options_dlg.h"
#include "platform/shell_open.h"
#include "shell/app_paths.h"
#include "shell/image_button.h"
#include "shell/lang.h"
#include "shell/tests/page_fixtures.h"
#include "widgets/file_list_ctrl.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

namespace {

const int kFailed = 3, kComplete = 4;
const QString kFinish = QStringLiteral("output\nfinish\n");

QString T(const char *key) { return Lang::Get(QString::fromLatin1(key)); }

void Touch(const QString &path, const QByteArray &content = "x")
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

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
    void outputNaming_data();
    void outputNaming();
    void completionActions_data();
    void completionActions();
    void sourcesStayWithoutTheirOutput();
};

void TstMovieWindow::newRowIsCheckedAndWaiting()
{
    MovieFixture f;
    const QString path = f.Script("a b 'é\".mp4", QString(2048, 'x'));
    QVERIFY(f.Window().Jobs().AddJobFile(path));
    QCOMPARE(f.List().RowCount(), 1);
    QVERIFY(f.List().IsChecked(0));
    QCOMPARE(f.List().RowPath(0), path);
    QCOMPARE(f.List().ItemText(0, 1), FormatFileSize(path));
    QCOMPARE(f.List().ItemText(0, 2), T("IDS_STATUS_POSSIBLE"));
    QCOMPARE(f.List().RowStatusCode(0), 0);
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
        QTest::mouseClick(f.Window().Controls().add, Qt::LeftButton);
        QCOMPARE(dialog.calls, 1);
        QVERIFY(dialog.lastFilter.startsWith(T("IDS_SUPPORT_VFORMAT_STR") + " (*.avi *.mp4 "));
    }
    QCOMPARE(f.List().RowCount(), rows);
    QCOMPARE(f.BoxTexts(), message ? QStringList{T("IDS_MESSAGEBOX_FILE_SUPPORT")} : QStringList{});
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
        QVERIFY(f.Window().Jobs().AddJobFile(f.Script(QStringLiteral("c%1.mp4").arg(i, 2, 10, QChar('0')), "x")));
    for (int i = 0; i < 14; ++i)
        f.List().SetChecked(i, i >= 1 && i <= checked);
    f.List().selectAll();

    // The Delete key asks; No keeps everything.
    f.Box().SetAnswer(IDNO);
    f.List().setFocus();
    QTest::keyClick(&f.List(), Qt::Key_Delete);
    QCOMPARE(f.List().RowCount(), 14);
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
    QCOMPARE(f.List().RowCount(), 14 - checked);
    QVERIFY(f.List().RowPath(0).endsWith("c00.mp4"));
    QVERIFY(f.List().RowPath(f.List().RowCount() - 1).endsWith("c13.mp4"));
}

void TstMovieWindow::busyBlocksEditing()
{
    MovieFixture f;
    f.AddScripts({"progress 10 1\n"});
    const MovieControls &c = f.Window().Controls();
    QTest::mouseClick(c.convert, Qt::LeftButton);
    QVERIFY(f.Driver().IsFileActive());

    for (ImageButton *b : {c.add, c.del, c.option})
        QCOMPARE(b->State(), ImageButton::StateSelected);
    QVERIFY(!f.List().isEnabled());
    QVERIFY(!c.hd->isEnabled());
    QVERIFY(!c.sd->isEnabled());
    QVERIFY(c.deleteSources->isEnabled());
    QVERIFY(c.shutDown->isEnabled());
    QVERIFY(f.Window().OpenFolderButton()->isEnabled());
    QVERIFY(!f.Window().acceptDrops());
    QVERIFY(f.Driver().HoldsPowerInhibit());
    QCOMPARE(c.folderLabel->text(), f.SaveFolder() + "clip0.mp4");

    ScriptedOpenDialog dialog({f.Script("more.mp4", "x")});
    QTest::mouseClick(c.add, Qt::LeftButton);
    f.Window().OnAddCommand();   // even a call past the disabled look
    QCOMPARE(dialog.calls, 0);

    Drop(&f.Window(), {f.Script("dropped.mp4", "x")});
    QCOMPARE(f.List().RowCount(), 1);
    f.Window().OnFilesDropped({f.InputFolder() + "dropped.mp4"});
    QCOMPARE(f.List().RowCount(), 1);
    QCOMPARE(f.BoxTexts().last(), T("IDS_MESSAGEBOX_CONVERT_NO"));

    QTest::keyClick(&f.Window(), Qt::Key_Delete);
    QCOMPARE(f.BoxTexts().last(), T("IDS_MESSAGEBOX_CONVERTING"));
    f.Window().OnOptionCommand();
    QCOMPARE(f.BoxTexts().last(), T("IDS_MESSAGEBOX_CONVERTING"));
    QCOMPARE(f.List().RowCount(), 1);

    // The check boxes and the open-folder button still answer during a run.
    QTest::mouseClick(c.deleteSources, Qt::LeftButton);
    QVERIFY(c.deleteSources->GetCheck());
    QUrl opened;
    platform::SetOpenUrlHandler([&](const QUrl &url) {
        opened = url;
        return true;
    });
    QTest::mouseClick(f.Window().OpenFolderButton(), Qt::LeftButton);
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
    const ImageButton *label = f.Window().Controls().folderLabel;
    QTest::mouseClick(f.Window().Controls().option, Qt::LeftButton);
    QCOMPARE(opened, 1);
    QCOMPARE(label->text(), f.SaveFolder());

    apply = true;
    QTest::mouseClick(f.Window().Controls().option, Qt::LeftButton);
    QCOMPARE(label->text(), chosen + "/");
    QCOMPARE(f.Window().SaveFolder(), chosen + "/");
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
    QTest::mouseClick(f.Window().Controls().option, Qt::LeftButton);
    QCOMPARE(seen, f.SaveFolder());
    QCOMPARE(f.Window().SaveFolder(), f.SaveFolder());
}

void TstMovieWindow::escapeAndEnter()
{
    MovieFixture f;
    QVERIFY(f.Window().isVisible());
    QTest::keyClick(&f.Window(), Qt::Key_Return);
    QVERIFY(f.Window().isVisible());
    QVERIFY(!f.Driver().IsRunStarted());
    QTest::keyClick(&f.Window(), Qt::Key_Escape);
    QVERIFY(!f.Window().isVisible());
    QVERIFY(f.Box().Questions().isEmpty());
    QCOMPARE(f.Window().result(), int(QDialog::Accepted));
}

// Existing names in the save folder ("=" makes a folder), the input, the expected output.
void TstMovieWindow::outputNaming_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");

    QTest::newRow("free") << QStringList{} << "in/clip.mov" << "clip.mp4";
    QTest::newRow("two taken") << QStringList{"clip.mp4", "clip(1).mp4"} << "in/clip.mov" << "clip(2).mp4";
    QTest::newRow("gap is used") << QStringList{"clip.mp4", "clip(2).mp4"} << "in/clip.mov" << "clip(1).mp4";
    QTest::newRow("folder of that name") << QStringList{"=clip.mp4"} << "in/clip.mov" << "clip(1).mp4";
    QTest::newRow("input in the save folder") << QStringList{"clip.mp4"} << "save/clip.mp4" << "clip(1).mp4";
    QTest::newRow("dots in the name") << QStringList{} << "in/my.holiday.mov" << "my.holiday.mp4";
    QTest::newRow("spaces, quotes, accents") << QStringList{"l'été \"x\".mp4"} << "in/l'été \"x\".avi"
                                             << "l'été \"x\"(1).mp4";
}

void TstMovieWindow::outputNaming()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, input);
    QFETCH(QString, output);

    QTemporaryDir tmp;
    const QString save = tmp.path() + "/save/";
    QDir().mkpath(save);
    for (const QString &name : existing) {
        if (name.startsWith('='))
            QDir().mkpath(save + name.mid(1));
        else
            Touch(save + name);
    }
    const QString inputPath = tmp.path() + '/' + input;
    QCOMPARE(MakeOutputPath(save, inputPath, "mp4"), save + output);
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
    QTest::newRow("last ok, both boxes") << QStringList{kFinish, kFinish} << true << true
                                         << QList<bool>{false, false} << false;
    QTest::newRow("last failed, both boxes") << QStringList{kFinish, fail} << true << true
                                             << QList<bool>{true, true} << false;
    QTest::newRow("last failed, delete box") << QStringList{kFinish, fail} << true << false
                                             << QList<bool>{true, true} << true;
    QTest::newRow("last ok, no box") << QStringList{kFinish, kFinish} << false << false
                                     << QList<bool>{true, true} << true;
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
    for (int row = 0; row < f.List().RowCount(); ++row)
        sources << f.List().RowPath(row);
    const MovieControls &c = f.Window().Controls();
    c.deleteSources->SetCheck(deleteBox);
    c.shutDown->SetCheck(shutdownBox);

    // When the end message shows, every source is still there and the window is idle.
    bool allThereAtMessage = false;
    bool idleAtMessage = false;
    ScriptedMessageBox box([&](const MessageBoxQuestion &) {
        allThereAtMessage = std::all_of(sources.begin(), sources.end(),
                                        [](const QString &s) { return QFileInfo::exists(s); });
        idleAtMessage = !f.Driver().IsRunStarted() && c.convert->isVisible();
        return IDOK;
    });
    f.Driver().StartNextFile();
    QTRY_VERIFY_WITH_TIMEOUT(!f.Driver().IsRunStarted(), 10000);

    QCOMPARE(box.Questions().size(), message ? 1 : 0);
    if (message) {
        QCOMPARE(box.Questions()[0].text, T("IDS_MESSAGEBOX_CONVERT_END"));
        QCOMPARE(box.Questions()[0].style, unsigned(MB_ICONINFORMATION));
        QVERIFY(allThereAtMessage);
        QVERIFY(idleAtMessage);
    }
    QCOMPARE(f.PowerOffRequests(), shutdownBox ? 1 : 0);
    int keptRows = 0;
    for (int i = 0; i < sources.size(); ++i) {
        QCOMPARE(QFileInfo::exists(sources[i]), sourceKept[i]);
        keptRows += sourceKept[i];
    }
    QCOMPARE(f.List().RowCount(), keptRows);
    // Every output of a finished file is still there.
    for (const CompletedFile &done : f.Driver().CompletedFiles())
        QVERIFY(QFileInfo(done.outputPath).size() > 0);
}

void TstMovieWindow::sourcesStayWithoutTheirOutput()
{
    MovieFixture f;
    f.AddScripts({"x", "x", "x"});
    QList<CompletedFile> done;
    for (int row = 0; row < 3; ++row)
        done.append({row, f.List().RowPath(row), f.SaveFolder() + QStringLiteral("out%1.mp4").arg(row)});
    Touch(done[0].outputPath);
    Touch(done[1].outputPath, "");   // empty: not a converted file
    Touch(done[2].outputPath);
    QFile::remove(done[2].sourcePath);   // gone already

    QCOMPARE(DeleteSourceFiles(f.List(), done), 1);
    QVERIFY(!QFileInfo::exists(done[0].sourcePath));
    QVERIFY(QFileInfo::exists(done[1].sourcePath));
    QCOMPARE(f.List().RowCount(), 2);
    QCOMPARE(f.List().RowPath(0), done[1].sourcePath);
    QCOMPARE(f.List().RowPath(1), done[2].sourcePath);
    // The source went to the trash, not into nothing.
    QVERIFY(!QDir(qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/files").isEmpty());
}

QTEST_MAIN(TstMovieWindow)
#include "tst_movie_window.moc"
