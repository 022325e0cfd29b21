#include "modal_driver.h"
#include "options/disk_usage.h"
#include "options/folder_choice.h"
#include "options/options_dlg.h"
#include "options/save_folder_page.h"
#include "shell/lang.h"
#include "shell/output_folder.h"
#include "skin/image_button.h"
#include "widgets/chart_ctrl.h"

#include <QDir>
#include <QFrame>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString Text(SaveFolderPage *page, int id) { return page->Button(id)->text(); }

bool FiguresVisible(SaveFolderPage *page)
{
    for (int id :
         {SaveFolderPage::IdDrive, SaveFolderPage::IdTotal, SaveFolderPage::IdInUse, SaveFolderPage::IdAvailable}) {
        if (page->Button(id)->isHidden())
            return false;
    }
    return !page->Chart()->isHidden();
}

// The label texts for a folder, the drive and total lines (free space may move meanwhile).
QString DriveText(const DiskUsage &usage) { return Lang::Get("IDS_DRV_NAME") + " " + usage.root; }

QString TotalText(const DiskUsage &usage)
{
    return Lang::Get("IDS_DRIVE_TOTAL_SIZE") + " " + FormatDiskSize(usage.total);
}

int NonZeroPercentages(const DiskUsage &usage)
{
    return (usage.UsedPercent() > 0 ? 1 : 0) + (usage.FreePercent() > 0 ? 1 : 0);
}

} // namespace

class TestOptionsDlg : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void pageShowsFolderAndFigures();
    void emptyFolderBecomesDefault();
    void missingFolderHidesFigures();
    void folderOnAnotherFileSystem();
    void applyAndCancel_data();
    void applyAndCancel();
    void enterAndEscapeInsidePage_data();
    void enterAndEscapeInsidePage();
    void pageLook();

private:
    QTemporaryDir m_dir;
    QString m_folder; // an existing folder under the test's home, with "/"
    QString m_otherFileSystem;
};

void TestOptionsDlg::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_folder = m_dir.path() + "/Saved clips «é»/";
    QVERIFY(QDir().mkpath(m_folder));

    // A folder on a file system other than the one holding m_folder, when this machine has one.
    const std::optional<DiskUsage> home = ReadDiskUsage(m_folder);
    QVERIFY(home);
    for (const QString &candidate : {QStringLiteral("/dev/shm"), QStringLiteral("/run"), QStringLiteral("/tmp"),
                                     QDir::homePath(), QStringLiteral("/")}) {
        const std::optional<DiskUsage> usage = ReadDiskUsage(candidate);
        if (usage && usage->root != home->root && usage->total > 0) {
            m_otherFileSystem = candidate;
            break;
        }
    }
}

void TestOptionsDlg::pageShowsFolderAndFigures()
{
    OptionsDlg dialog(m_folder);
    QVERIFY(dialog.IsCreated());
    dialog.show();
    SaveFolderPage *page = dialog.Page();
    QCOMPARE(page->FolderField()->text(), m_folder);
    QVERIFY(page->FolderField()->isReadOnly());

    const std::optional<DiskUsage> usage = ReadDiskUsage(m_folder);
    QVERIFY(usage);
    QVERIFY(FiguresVisible(page));
    QCOMPARE(page->ShownRoot(), usage->root);
    QCOMPARE(Text(page, SaveFolderPage::IdDrive), DriveText(*usage));
    QCOMPARE(Text(page, SaveFolderPage::IdTotal), TotalText(*usage));
    QVERIFY(Text(page, SaveFolderPage::IdInUse).startsWith(Lang::Get("IDS_IN_USE") + " "));
    QVERIFY(Text(page, SaveFolderPage::IdAvailable).startsWith(Lang::Get("IDS_AVAILA_SIZE") + " "));
    QCOMPARE(page->Chart()->ValueCount(), NonZeroPercentages(*usage));
    // The pie fills the group frame less 30 pixels on every side.
    QCOMPARE(page->Chart()->geometry(), QRect(QPoint(45, 170), QPoint(329, 323)));
    QCOMPARE(page->GroupFrame()->geometry(), QRect(15, 140, 345, 214));
    QCOMPARE(page->geometry(), QRect(10, 40, 375, 360));
}

void TestOptionsDlg::emptyFolderBecomesDefault()
{
    const QString expected = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/Framepress/";
    QDir(expected).removeRecursively();
    OptionsDlg dialog(QString{});
    QCOMPARE(dialog.SaveFolder(), expected);
    QVERIFY(QFileInfo(expected).isDir());
    QCOMPARE(dialog.Page()->FolderField()->text(), expected);
    QVERIFY(FiguresVisible(dialog.Page()));
}

void TestOptionsDlg::missingFolderHidesFigures()
{
    ScriptedFolderBrowser browser({m_folder});
    OptionsDlg dialog(m_dir.path() + "/gone/");
    dialog.show();
    SaveFolderPage *page = dialog.Page();
    QVERIFY(!FiguresVisible(page));
    for (int id :
         {SaveFolderPage::IdDrive, SaveFolderPage::IdTotal, SaveFolderPage::IdInUse, SaveFolderPage::IdAvailable})
        QVERIFY(page->Button(id)->isHidden());
    QVERIFY(page->Chart()->isHidden());
    QVERIFY(page->GroupFrame()->isVisible());

    // An existing folder brings the figures back, whichever file system it is on.
    QTest::mouseClick(page->Button(SaveFolderPage::IdChooseFolder), Qt::LeftButton);
    QCOMPARE(dialog.SaveFolder(), m_folder);
    QVERIFY(FiguresVisible(page));
}

void TestOptionsDlg::folderOnAnotherFileSystem()
{
    if (m_otherFileSystem.isEmpty())
        QSKIP("this machine has only one file system");
    const std::optional<DiskUsage> other = ReadDiskUsage(m_otherFileSystem);
    const std::optional<DiskUsage> home = ReadDiskUsage(m_folder);
    QVERIFY(other && home);

    const QString sameFileSystem = m_dir.path() + "/Second/";
    QVERIFY(QDir().mkpath(sameFileSystem));
    ScriptedFolderBrowser browser({m_otherFileSystem, m_folder, sameFileSystem});
    OptionsDlg dialog(m_folder);
    dialog.show();
    SaveFolderPage *page = dialog.Page();
    ImageButton *choose = page->Button(SaveFolderPage::IdChooseFolder);
    QCOMPARE(Text(page, SaveFolderPage::IdDrive), DriveText(*home));

    QTest::mouseClick(choose, Qt::LeftButton);
    QCOMPARE(dialog.SaveFolder(), OutputFolder(m_otherFileSystem).Text());
    QCOMPARE(page->FolderField()->text(), dialog.SaveFolder());
    QCOMPARE(page->ShownRoot(), other->root);
    QCOMPARE(Text(page, SaveFolderPage::IdDrive), DriveText(*other));
    QCOMPARE(Text(page, SaveFolderPage::IdTotal), TotalText(*other));
    QCOMPARE(page->Chart()->ValueCount(), NonZeroPercentages(*other));

    QTest::mouseClick(choose, Qt::LeftButton);
    QCOMPARE(Text(page, SaveFolderPage::IdDrive), DriveText(*home));
    QCOMPARE(Text(page, SaveFolderPage::IdTotal), TotalText(*home));

    // Another folder on the same file system shows the same disk: the figures stay as they are.
    page->Button(SaveFolderPage::IdInUse)->SetWindowTextW("unchanged");
    QTest::mouseClick(choose, Qt::LeftButton);
    QCOMPARE(dialog.SaveFolder(), sameFileSystem);
    QCOMPARE(Text(page, SaveFolderPage::IdInUse), QStringLiteral("unchanged"));
}

void TestOptionsDlg::applyAndCancel_data()
{
    QTest::addColumn<QString>("closeWith");
    QTest::addColumn<bool>("applied");
    QTest::newRow("apply") << "apply" << true;
    QTest::newRow("cancel") << "cancel" << false;
    QTest::newRow("caption close") << "close" << false;
    QTest::newRow("escape on the dialog") << "escape" << false;
}

void TestOptionsDlg::applyAndCancel()
{
    QFETCH(QString, closeWith);
    QFETCH(bool, applied);
    const QString chosen = m_dir.path() + "/Chosen";
    QVERIFY(QDir().mkpath(chosen));
    ScriptedFolderBrowser browser({chosen});

    WhenModal<OptionsDlg>([closeWith](OptionsDlg *dialog) {
        QTest::mouseClick(dialog->Page()->Button(SaveFolderPage::IdChooseFolder), Qt::LeftButton);
        if (closeWith == "apply")
            QTest::mouseClick(dialog->Button(OptionsDlg::IdApply), Qt::LeftButton);
        else if (closeWith == "cancel")
            QTest::mouseClick(dialog->Button(OptionsDlg::IdCancel), Qt::LeftButton);
        else if (closeWith == "close")
            QTest::mouseClick(dialog->CaptionButton("close"), Qt::LeftButton);
        else
            QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QString folder = m_folder;
    QCOMPARE(OptionsDlg::Edit(folder, nullptr), applied);
    QCOMPARE(folder, applied ? chosen + "/" : m_folder);
    QCOMPARE(browser.StartFolders(), QList<QString>{m_folder});
}

void TestOptionsDlg::enterAndEscapeInsidePage_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("onField");
    QTest::newRow("escape in the folder field") << int(Qt::Key_Escape) << true;
    QTest::newRow("enter in the folder field") << int(Qt::Key_Return) << true;
    QTest::newRow("keypad enter in the folder field") << int(Qt::Key_Enter) << true;
    QTest::newRow("escape on the page") << int(Qt::Key_Escape) << false;
    QTest::newRow("enter on the page") << int(Qt::Key_Return) << false;
}

void TestOptionsDlg::enterAndEscapeInsidePage()
{
    QFETCH(int, key);
    QFETCH(bool, onField);
    bool stayedOpen = false;
    WhenModal<OptionsDlg>([&](OptionsDlg *dialog) {
        SaveFolderPage *page = dialog->Page();
        QWidget *target = onField ? static_cast<QWidget *>(page->FolderField()) : page;
        QTest::keyClick(target, Qt::Key(key));
        QTest::keyClick(target, Qt::Key(key));
        QCoreApplication::processEvents();
        stayedOpen = dialog->isVisible() && page->isVisible();
        QTest::mouseClick(dialog->Button(OptionsDlg::IdCancel), Qt::LeftButton);
    });
    QString folder = m_folder;
    QVERIFY(!OptionsDlg::Edit(folder, nullptr));
    QVERIFY(stayedOpen);
}

void TestOptionsDlg::pageLook()
{
    OptionsDlg dialog(m_folder);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), Lang::Get("IDS_DIALOG_CONVERTER_INFO"));
    QCOMPARE(dialog.ClientSize(), QSize(400, 450));
    ImageButton *tab = dialog.Button(OptionsDlg::IdTab);
    QCOMPARE(tab->State(), ImageButton::StateSelected);
    QCOMPARE(tab->text(), Lang::Get("IDS_ETC_TAB_NAME"));
    QVERIFY(tab->IsImageLoaded());
    QVERIFY(dialog.Button(OptionsDlg::IdApply)->IsImageLoaded());
    QVERIFY(dialog.Page()->Button(SaveFolderPage::IdChooseFolder)->IsImageLoaded());

    // The page is a light grey panel in a one-pixel frame.
    const QImage shot = dialog.Page()->grab().toImage();
    QCOMPARE(QColor(shot.pixel(0, 0)), QColor(0xC6, 0xC6, 0xC6));
    QCOMPARE(QColor(shot.pixel(374, 359)), QColor(0xC6, 0xC6, 0xC6));
    QCOMPARE(QColor(shot.pixel(5, 150)), QColor(0xF0, 0xF0, 0xF0));
}

QTEST_MAIN(TestOptionsDlg)
#include "tst_options_dlg.moc"
