// The image page driven offscreen through its real widgets and its real run: the words of its
// labels, its rows, the end-of-run actions and options. What the run itself does is tested in
// tst_image_run, what both pages share in tst_converter_page.

#include "image/image_window.h"
#include "options/folder_choice.h"
#include "platform/power_inhibit.h"
#include "platform/shell_open.h"
#include "platform/shutdown.h"
#include "run/reason_text.h"
#include "shell/app_paths.h"
#include "shell/lang.h"
#include "skin/image_button.h"
#include "skin/message_box.h"
#include "skin/tests/page_fixtures.h"
#include "test_pictures.h"
#include "widgets/file_list_ctrl.h"
#include "widgets/progress_bar_ctrl.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

using namespace testpic;

namespace {

constexpr int kWaiting = 0, kFailed = 3, kComplete = 4;

QString T(const char *key) { return Lang::Get(QString::fromLatin1(key)); }

// A page with its own output folder, a message box that answers OK and a power-off that only
// counts. Pictures are made in an input folder beside the output.
class Page {
public:
    Page()
    {
        outFolder = dir.path() + "/out put é/";
        inFolder = dir.path() + "/in/";
        QDir().mkpath(inFolder);
        ImageSettings{outFolder, 0, 1}.Store(T("IDS_APP_NAME"));
        window = std::make_unique<ImageWindow>();
        window->show();
        QApplication::setActiveWindow(window.get());
        ready = QTest::qWaitForWindowExposed(window.get());
    }

    ImageWindow &W() { return *window; }
    JobListModel &Model() { return window->Rows().Model(); }
    ImageButton *B(int id) { return window->Button(id); }
    void Click(int id) { QTest::mouseClick(B(id), Qt::LeftButton, {}, QPoint(8, B(id)->height() / 2)); }
    QString Label(int id) { return B(id)->text(); }
    QStringList Asked() const
    {
        QStringList texts;
        for (const MessageBoxQuestion &q : box.Questions())
            texts << q.text;
        return texts;
    }

    QString Photo(const QString &name, int width = 1200, int height = 900)
    {
        const QString path = inFolder + name;
        WriteJpeg(path, testpic::Photo(width, height));
        return path;
    }
    QString Bytes(const QString &name, const QByteArray &bytes)
    {
        const QString path = inFolder + name;
        WriteBytes(path, bytes);
        return path;
    }
    void Add(const QStringList &paths) { QCOMPARE(window->Rows().AddFiles(paths), paths.size()); }
    // Holds the next run before its first picture (the pause is asked for before the worker's
    // thread starts): the page looks busy and nothing of the run can end meanwhile.
    void HoldNextRun()
    {
        QObject::connect(
            &window->Run(), &Run::stateChanged, window.get(), [this] { window->Run().Pause(); },
            Qt::SingleShotConnection);
    }
    QList<int> States()
    {
        QList<int> codes;
        for (const KeptRow &row : Model().KeptRows())
            codes << int(row.status);
        return codes;
    }
    QStringList Outputs() const { return QDir(outFolder).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

    FreshStateFolder state; // no rows kept from another test's page
    QTemporaryDir dir;
    QString inFolder;
    QString outFolder;
    ScriptedMessageBox box{IDOK};
    platform::ScopedPowerOff power{true};
    std::unique_ptr<ImageWindow> window;
    bool ready = false;
};

} // namespace

class TestImageWindow : public QObject {
    Q_OBJECT

private slots:
    // No test reaches the system bus for the sleep lock.
    void initTestCase()
    {
        platform::PowerInhibit::SetBackend([](const QString &) { return std::optional<int>(); });
    }
    void fullRunThroughConvert();
    void endOfRunActions_data();
    void endOfRunActions();
    void rowUncheckedDuringRunIsNotConvertedNorTrashed();
    void cancel();
    void trashedSourcesRemoveTheirOwnRows();
    void clockShowsHoursMinutesSeconds();
    void optionsAreStoredAndUsed_data();
    void optionsAreStoredAndUsed();
};

void TestImageWindow::fullRunThroughConvert()
{
    Page p;
    QVERIFY(p.ready);
    const QString a = p.Photo("a photo.jpg");
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        testpic::Photo(600, 400).save(&buffer, "PNG");
    }
    const QString b = p.Bytes("b broken.png", png.left(png.size() / 2));
    const QString c = p.Photo("c 'é'.jpg");
    const QString d = p.Photo("d unchecked.jpg");

    ScriptedOpenDialog dialog({a, b, c, d});
    p.Click(ImageWindow::kAddId);
    QCOMPARE(dialog.calls, 1);
    QCOMPARE(dialog.lastFilter, T("IDS_SUPPORT_IFORMAT_STR") + " (*.jpg *.jpeg *.jpe *.png *.bmp *.gif)");
    QCOMPARE(p.Model().index(0, 1).data().toString(), FormatFileSize(a));
    p.Model().SetChecked(p.Model().IdAt(3), false);

    QSignalSpy finished(&p.W().Run(), &Run::runEnded);
    QSignalSpy converting(&p.W(), &ConverterPage::runActiveChanged);
    p.Click(ImageWindow::kConvertId);
    QVERIFY(p.W().IsRunActive());
    QCOMPARE(p.Label(ImageWindow::kTimeLeftLabelId), T("IDS_TIME_LEFT_TITLE") + " —");
    QVERIFY(p.B(ImageWindow::kConvertId)->isHidden());
    QVERIFY(p.B(ImageWindow::kPauseId)->isVisible());
    QCOMPARE(p.B(ImageWindow::kCancelId)->State(), ImageButton::StateNormal);
    QVERIFY(finished.wait(30000));

    QVERIFY(!p.W().IsRunActive());
    QCOMPARE(converting.size(), 2);
    QCOMPARE(p.States(), (QList<int>{kComplete, kFailed, kComplete, kWaiting}));
    QCOMPARE(p.Model().index(1, 2).data().toString(), T("IDS_STATUS_FAIL"));
    // The failed picture's reason reaches its row; the others have none.
    QCOMPARE(p.Model().At(1).last.reason, Reason::Image(int(ImageError::Unreadable)));
    QCOMPARE(p.Model().At(0).last.reason, Reason{});
    QCOMPARE(p.Model().At(3).last.reason, Reason{});
    QCOMPARE(p.Model().CheckedCount(), 0);
    QCOMPARE(p.Label(ImageWindow::kTotalLabelId), T("IDS_TOTAL_TITLE") + " 100% ( 3 / 3 )");
    QCOMPARE(p.Label(ImageWindow::kTimeLeftLabelId), T("IDS_TIME_LEFT_TITLE") + " 00:00:00");
    QCOMPARE(p.Label(ImageWindow::kCurrentLabelId), T("IDS_CURRENT_TITLE") + " 100%");
    QCOMPARE(p.W().TotalBar()->Position(), 100);
    QCOMPARE(p.W().CurrentBar()->Position(), 100);
    QCOMPARE(p.Label(ImageWindow::kFolderLabelId), p.outFolder);
    QVERIFY(p.B(ImageWindow::kConvertId)->isVisible());
    QVERIFY(p.B(ImageWindow::kPauseId)->isHidden());
    QCOMPARE(p.B(ImageWindow::kCancelId)->State(), ImageButton::StateSelected);
    // The end message counts the files and names the failed one with its reason.
    QCOMPARE(p.Asked(), QStringList{T("IDS_MESSAGEBOX_CONVERT_END") + "\n2 converted, 1 failed"});
    QCOMPARE(p.box.Questions()[0].details,
             QStringList{"b broken.png: " + ReasonText(Reason::Image(int(ImageError::Unreadable)))});
    QCOMPARE(p.box.Questions()[0].style, MB_ICONEXCLAMATION);

    // The checked rows under the names the list shows, into the chosen folder, in the HD box;
    // sources untouched.
    QCOMPARE(p.Outputs(), (QStringList{"a photo.jpg", "c 'é'.jpg"}));
    QCOMPARE(QImageReader(p.outFolder + "a photo.jpg").size(), QSize(960, 720));
    for (const QString &source : {a, b, c, d})
        QVERIFY(QFileInfo::exists(source));

    // Converted rows end unchecked, so the same list has nothing to convert.
    p.Click(ImageWindow::kConvertId);
    QVERIFY(!p.W().IsRunActive());
    QCOMPARE(p.Asked().last(), T("IDS_MESSAGEBOX_NO_FILE"));
    QCOMPARE(p.box.Questions().last().style, MB_OK);
}

void TestImageWindow::endOfRunActions_data()
{
    QTest::addColumn<bool>("deleteSources");
    QTest::addColumn<bool>("powerOff");
    QTest::newRow("neither") << false << false;
    QTest::newRow("move sources to the trash") << true << false;
    QTest::newRow("power off") << false << true;
    QTest::newRow("both") << true << true;
}

void TestImageWindow::endOfRunActions()
{
    QFETCH(bool, deleteSources);
    QFETCH(bool, powerOff);

    Page p;
    QVERIFY(p.ready);
    const QString good = p.Photo("good.jpg");
    const QString empty = p.Bytes("empty.gif", QByteArray());
    const QString second = p.Photo("second.png", 800, 800);
    p.Add({good, empty, second});
    if (deleteSources)
        p.Click(ImageWindow::kDeleteSourcesId);
    if (powerOff)
        p.Click(ImageWindow::kShutDownId);
    p.Click(ImageWindow::kSdId);
    QVERIFY(!p.B(ImageWindow::kHdId)->GetCheck());

    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files/";
    const qsizetype trashedBefore = QDir(trash).entryList({"good*"}).size();
    QSignalSpy finished(&p.W().Run(), &Run::runEnded);
    p.Click(ImageWindow::kConvertId);
    QVERIFY(finished.wait(30000));

    QCOMPARE(p.Asked(),
             powerOff ? QStringList{} : QStringList{T("IDS_MESSAGEBOX_CONVERT_END") + "\n2 converted, 1 failed"});
    QCOMPARE(p.power.Requests(), powerOff ? 1 : 0);
    QCOMPARE(p.Outputs(), (QStringList{"good.jpg", "second.jpg"}));
    QCOMPARE(QImageReader(p.outFolder + "good.jpg").size(), QSize(640, 480));
    QCOMPARE(QImageReader(p.outFolder + "second.jpg").size(), QSize(480, 480));

    // Only sources whose output exists leave, into the trash; their rows go with them.
    QCOMPARE(QFileInfo::exists(good), !deleteSources);
    QCOMPARE(QFileInfo::exists(second), !deleteSources);
    QVERIFY(QFileInfo::exists(empty));
    QCOMPARE(QDir(trash).entryList({"good*"}).size(), trashedBefore + (deleteSources ? 1 : 0));
    QCOMPARE(p.States(), deleteSources ? QList<int>{kFailed} : (QList<int>{kComplete, kFailed, kComplete}));
    QCOMPARE(p.Model().At(deleteSources ? 0 : 1).path, empty);
}

// The list stays live during a run: a row unchecked before the worker reaches it is left out,
// and the trash, asked for, takes only the sources of converted rows.
void TestImageWindow::rowUncheckedDuringRunIsNotConvertedNorTrashed()
{
    Page p;
    QVERIFY(p.ready);
    QStringList paths;
    for (int i = 0; i < 4; ++i)
        paths << p.Photo(QStringLiteral("u%1.jpg").arg(i));
    p.Add(paths);
    p.Click(ImageWindow::kDeleteSourcesId);

    QSignalSpy ended(&p.W().Run(), &Run::runEnded);
    p.HoldNextRun();
    p.Click(ImageWindow::kConvertId);
    QVERIFY(p.W().IsRunActive());
    p.Model().SetChecked(p.Model().IdAt(2), false);
    p.W().OnResumeCommand();
    QVERIFY(ended.wait(30000));

    QCOMPARE(p.Outputs(), (QStringList{"u0.jpg", "u1.jpg", "u3.jpg"}));
    QVERIFY(QFileInfo::exists(paths[2]));
    for (int i : {0, 1, 3})
        QVERIFY(!QFileInfo::exists(paths[i]));
    // Only its row is left, unchecked and waiting as the user left it.
    QCOMPARE(p.Model().RowCount(), 1);
    QCOMPARE(p.Model().At(0).path, paths[2]);
    QCOMPARE(p.States(), QList<int>{kWaiting});
    QVERIFY(!p.Model().At(0).checked);
    QCOMPARE(p.Label(ImageWindow::kTotalLabelId), T("IDS_TOTAL_TITLE") + " 100% ( 3 / 3 )");
    QCOMPARE(p.Asked(), QStringList{T("IDS_MESSAGEBOX_CONVERT_END") + "\n3 converted"});
}

void TestImageWindow::cancel()
{
    Page p;
    QVERIFY(p.ready);
    QStringList paths;
    for (int i = 0; i < 3; ++i)
        paths << p.Photo(QStringLiteral("c%1.jpg").arg(i));
    p.Add(paths);
    // Neither box may act on a cancelled run.
    p.Click(ImageWindow::kDeleteSourcesId);
    p.Click(ImageWindow::kShutDownId);

    // The run is held before its first picture.
    QSignalSpy ended(&p.W().Run(), &Run::runEnded);
    p.HoldNextRun();
    p.Click(ImageWindow::kConvertId);
    p.box.SetAnswer(IDYES);
    p.Click(ImageWindow::kCancelId);
    QCOMPARE(p.Asked(), QStringList{T("IDS_MESSAGEBOX_CANCEL")});
    QVERIFY(ended.wait(20000));
    QCOMPARE(ended[0][0].value<RunSummary>().end, RunEnd::Cancelled);

    // The pictures not reached stay checked and waiting.
    QCOMPARE(p.States(), QList<int>(3, kWaiting));
    QCOMPARE(p.Model().CheckedCount(), 3);
    QCOMPARE(p.Label(ImageWindow::kCurrentLabelId), T("IDS_CURRENT_TITLE") + "0%");
    QCOMPARE(p.Label(ImageWindow::kTotalLabelId), T("IDS_TOTAL_TITLE") + "0%");
    QCOMPARE(p.Label(ImageWindow::kTimeLabelId), T("IDS_TIME_TITLE") + " 00:00:00");
    QCOMPARE(p.W().TotalBar()->Position(), 0);
    QCOMPARE(p.W().CurrentBar()->Position(), 0);
    QVERIFY(p.B(ImageWindow::kConvertId)->isVisible());
    QVERIFY(p.B(ImageWindow::kPauseId)->isHidden());
    QVERIFY(p.B(ImageWindow::kResumeId)->isHidden());
    QCOMPARE(p.Label(ImageWindow::kFolderLabelId), p.outFolder);

    // No end message, nothing moved to the trash, no power-off.
    QCOMPARE(p.box.Questions().size(), 1);
    QCOMPARE(p.power.Requests(), 0);
    for (const QString &path : paths)
        QVERIFY(QFileInfo::exists(path));
    QVERIFY(p.Outputs().isEmpty());
}

void TestImageWindow::trashedSourcesRemoveTheirOwnRows()
{
    Page p;
    QVERIFY(p.ready);
    const QStringList paths{p.Bytes("0.jpg", "x"), p.Bytes("1.jpg", "x"), p.Bytes("2.jpg", "x"), p.Bytes("3.jpg", "x")};
    p.Add(paths);
    const QList<int> ids = p.Model().CheckedIds();
    // Ids from the start of a run; "2.jpg" has since moved up to row 1 and "3.jpg" left the
    // list: the row of each id goes, never another one.
    p.Model().Remove({ids[1], ids[3]});
    const auto ended = [](int id) {
        FileEnd end;
        end.id = id;
        return end;
    };
    p.W().Rows().RemoveRowsOf({ended(ids[0]), ended(ids[2]), ended(ids[3])});
    QCOMPARE(p.Model().RowCount(), 0);
    // Added again, a file is another row: the id of the row it had names none.
    p.Add({paths[1], paths[2]});
    p.W().Rows().RemoveRowsOf({ended(ids[2])});
    QCOMPARE(p.Model().RowCount(), 2);
}

void TestImageWindow::clockShowsHoursMinutesSeconds()
{
    Page p;
    QVERIFY(p.ready);
    p.Add({p.Photo("a.jpg")});
    QSignalSpy finished(&p.W().Run(), &Run::runEnded);
    p.Click(ImageWindow::kConvertId);
    QCOMPARE(p.Label(ImageWindow::kTimeLabelId), T("IDS_TIME_TITLE") + " 00:00:00");
    // The run's end cannot arrive before control returns to the event loop.
    for (int tick = 1; tick <= 3725; ++tick)
        p.W().Run().Tick();
    QCOMPARE(p.Label(ImageWindow::kTimeLabelId), T("IDS_TIME_TITLE") + " 01:02:05");
    QVERIFY(finished.wait(20000));
}

void TestImageWindow::optionsAreStoredAndUsed_data()
{
    QTest::addColumn<bool>("apply");
    QTest::newRow("apply") << true;
    QTest::newRow("cancel") << false;
}

void TestImageWindow::optionsAreStoredAndUsed()
{
    QFETCH(bool, apply);

    Page p;
    QVERIFY(p.ready);
    const QString chosen = p.dir.path() + "/chosen";
    QDir().mkpath(chosen);
    ScriptedFolderBrowser browser({chosen});

    // The real dialog, worked as a person would: turn rotation on, pick 180, choose a folder.
    bool sawDialog = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<ImageOptionsDlg *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        sawDialog = true;
        QTimer::singleShot(5000, dialog, [dialog] { dialog->done(-1); }); // never hang
        for (int id :
             {int(ImageOptionsDlg::IdRotate), int(ImageOptionsDlg::IdRotate180), int(ImageOptionsDlg::IdChooseFolder)})
            QTest::mouseClick(dialog->Button(id), Qt::LeftButton, {}, QPoint(8, dialog->Button(id)->height() / 2));
        const int close = apply ? ImageOptionsDlg::IdApply : ImageOptionsDlg::IdCancel;
        QTest::mouseClick(dialog->Button(close), Qt::LeftButton);
    });
    p.Click(ImageWindow::kOptionId);
    QVERIFY(sawDialog);

    const QString folder = apply ? chosen + "/" : p.outFolder;
    const ImageSettings stored = ImageSettings::Load(T("IDS_APP_NAME"));
    QCOMPARE(stored.saveFolder, folder);
    QCOMPARE(stored.rotateImage, apply ? 1u : 0u);
    QCOMPARE(stored.rotateAngle, apply ? 2u : 1u);
    QCOMPARE(p.W().Settings().saveFolder, folder);
    QCOMPARE(p.Label(ImageWindow::kFolderLabelId), folder);

    QUrl opened;
    const platform::OpenUrlHandler previous = platform::SetOpenUrlHandler([&](const QUrl &url) {
        opened = url;
        return true;
    });
    p.Click(ImageWindow::kOpenFolderId);
    platform::SetOpenUrlHandler(previous);
    QCOMPARE(QDir::cleanPath(opened.toLocalFile()), QDir::cleanPath(folder));

    // A run takes the folder and the turn: the red top-left block ends at the bottom right.
    p.Add({p.Photo("turn.jpg")});
    QSignalSpy finished(&p.W().Run(), &Run::runEnded);
    p.Click(ImageWindow::kConvertId);
    QVERIFY(finished.wait(20000));
    const QImage output(folder + "turn.jpg");
    QCOMPARE(output.size(), QSize(960, 720));
    const QPoint red = apply ? QPoint(output.width() - 20, output.height() - 20) : QPoint(20, 20);
    QVERIFY(Near(MeanColor(output, red.x(), red.y()), QColor(220, 20, 20)));
}

QTEST_MAIN(TestImageWindow)
#include "tst_image_window.moc"
