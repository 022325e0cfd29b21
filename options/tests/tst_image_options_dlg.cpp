#include "modal_driver.h"
#include "options/folder_choice.h"
#include "options/image_options_dlg.h"
#include "shell/app_paths.h"
#include "shell/lang.h"
#include "shell/output_folder.h"
#include "skin/image_button.h"

#include <QLineEdit>
#include <QTest>

namespace {

constexpr int kAngleIds[3] = {ImageOptionsDlg::IdRotate90, ImageOptionsDlg::IdRotate180, ImageOptionsDlg::IdRotate270};

// The colour in the middle of a radio's round mark, as drawn on screen.
QColor MarkColour(ImageButton *radio)
{
    const QImage shot = radio->grab().toImage();
    return QColor(shot.pixel(8, radio->height() / 2));
}

const QColor kOffFill(0xE9, 0xEC, 0xEF); // unchecked, disabled look
const QColor kOffMark(0xA9, 0xB1, 0xBA); // checked, disabled look
const QColor kOnMark(0x3D, 0xA9, 0xFC);  // checked, normal look

} // namespace

class TestImageOptionsDlg : public QObject {
    Q_OBJECT
private slots:
    void rotationTogglesAngleLook();
    void nonZeroRotationIsOn();
    void applyStoresAngle_data();
    void applyStoresAngle();
    void folderApplyAndCancel_data();
    void folderApplyAndCancel();
    void drawsRotationPicture();
};

void TestImageOptionsDlg::rotationTogglesAngleLook()
{
    ImageOptionsDlg dialog({"/out/", 0, 2});
    dialog.show();
    ImageButton *rotate = dialog.Button(ImageOptionsDlg::IdRotate);
    ImageButton *a90 = dialog.Button(ImageOptionsDlg::IdRotate90);
    ImageButton *a180 = dialog.Button(ImageOptionsDlg::IdRotate180);
    QVERIFY(!rotate->GetCheck());
    for (int id : kAngleIds)
        QCOMPARE(dialog.Button(id)->State(), ImageButton::StateSelected);
    QVERIFY(a180->GetCheck());
    QCOMPARE(MarkColour(a90), kOffFill);
    QCOMPARE(MarkColour(a180), kOffMark);

    // A choice in the disabled look takes no click.
    QTest::mouseClick(a90, Qt::LeftButton);
    QVERIFY(!a90->GetCheck());
    QVERIFY(a180->GetCheck());

    QTest::mouseClick(rotate, Qt::LeftButton);
    QVERIFY(rotate->GetCheck());
    QCOMPARE(dialog.Values().rotateImage, 1u);
    for (int id : kAngleIds)
        QCOMPARE(dialog.Button(id)->State(), ImageButton::StateNormal);
    QCOMPARE(MarkColour(a90), QColor(Qt::white));
    QCOMPARE(MarkColour(a180), kOnMark);

    QTest::mouseClick(rotate, Qt::LeftButton);
    QCOMPARE(dialog.Values().rotateImage, 0u);
    QCOMPARE(MarkColour(a90), kOffFill);
}

void TestImageOptionsDlg::nonZeroRotationIsOn()
{
    ImageOptionsDlg dialog({"/out/", 7, 1});
    dialog.show();
    QVERIFY(dialog.Button(ImageOptionsDlg::IdRotate)->GetCheck());
    QCOMPARE(dialog.Button(ImageOptionsDlg::IdRotate90)->State(), ImageButton::StateNormal);
    QTest::mouseClick(dialog.Button(ImageOptionsDlg::IdRotate), Qt::LeftButton);
    QCOMPARE(dialog.Values().rotateImage, 0u);
    QTest::mouseClick(dialog.Button(ImageOptionsDlg::IdRotate), Qt::LeftButton);
    QCOMPARE(dialog.Values().rotateImage, 1u);
}

void TestImageOptionsDlg::applyStoresAngle_data()
{
    QTest::addColumn<quint32>("angle");
    QTest::addColumn<int>("click"); // index of the choice clicked, -1 none
    QTest::addColumn<quint32>("stored");
    QTest::newRow("90 picked as 180") << 1u << 1 << 2u;
    QTest::newRow("270 picked as 90") << 3u << 0 << 1u;
    QTest::newRow("180 kept") << 2u << -1 << 2u;
    QTest::newRow("unknown angle kept when nothing is picked") << 9u << -1 << 9u;
    QTest::newRow("unknown angle replaced by 270") << 0u << 2 << 3u;
}

void TestImageOptionsDlg::applyStoresAngle()
{
    QFETCH(quint32, angle);
    QFETCH(int, click);
    QFETCH(quint32, stored);
    WhenModal<ImageOptionsDlg>([click](ImageOptionsDlg *dialog) {
        if (click >= 0)
            QTest::mouseClick(dialog->Button(kAngleIds[click]), Qt::LeftButton);
        QTest::mouseClick(dialog->Button(ImageOptionsDlg::IdApply), Qt::LeftButton);
    });
    ImageOptionValues values{"/out/", 1, angle};
    QVERIFY(ImageOptionsDlg::Edit(values, nullptr));
    QCOMPARE(values.rotateAngle, stored);
    QCOMPARE(values.rotateImage, 1u);
    QCOMPARE(values.saveFolder, QStringLiteral("/out/"));
}

void TestImageOptionsDlg::folderApplyAndCancel_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("apply");
    QTest::addColumn<QString>("folder");
    QTest::newRow("apply") << "/srv/Pictures" << true << "/srv/Pictures/";
    QTest::newRow("apply, root") << "/" << true << "/";
    QTest::newRow("apply, missing folder taken as it is") << "/no/such/dir" << true << "/no/such/dir/";
    QTest::newRow("browser cancelled") << "" << true << "/out/";
    QTest::newRow("cancel") << "/srv/Pictures" << false << "/out/";
}

void TestImageOptionsDlg::folderApplyAndCancel()
{
    QFETCH(QString, answer);
    QFETCH(bool, apply);
    QFETCH(QString, folder);
    ScriptedFolderBrowser browser({answer});
    QString shown;
    WhenModal<ImageOptionsDlg>([&](ImageOptionsDlg *dialog) {
        QTest::mouseClick(dialog->Button(ImageOptionsDlg::IdRotate), Qt::LeftButton);
        QTest::mouseClick(dialog->Button(ImageOptionsDlg::IdChooseFolder), Qt::LeftButton);
        shown = dialog->FolderField()->text();
        QTest::mouseClick(dialog->Button(apply ? ImageOptionsDlg::IdApply : ImageOptionsDlg::IdCancel), Qt::LeftButton);
    });
    const ImageOptionValues before{"/out/", 0, 3};
    ImageOptionValues values = before;
    QCOMPARE(ImageOptionsDlg::Edit(values, nullptr), apply);
    QCOMPARE(browser.StartFolders(), QList<QString>{"/out/"});
    QCOMPARE(shown, answer.isEmpty() ? QStringLiteral("/out/") : OutputFolder(answer).Text());
    if (apply)
        QCOMPARE(values, (ImageOptionValues{folder, 1, 3}));
    else
        QCOMPARE(values, before);
}

void TestImageOptionsDlg::drawsRotationPicture()
{
    ImageOptionsDlg dialog({"/out/", 1, 1});
    dialog.show();
    QVERIFY(dialog.HasRotationPicture());
    QCOMPARE(dialog.windowTitle(), Lang::Get("IDS_DIALOG_CONVERTER_INFO"));
    QCOMPARE(dialog.ClientSize(), QSize(400, 400));
    const QImage picture(GetResFilePath("option_image_rotate.bmp"));
    QVERIFY(!picture.isNull());
    const QImage shot = dialog.Client()->grab().toImage();
    // Spots of the picture that no control covers: its panels and the sample of 180 degrees.
    for (const QPoint &at : {QPoint(12, 40), QPoint(3, 100), QPoint(185, 150), QPoint(190, 170)})
        QCOMPARE(QColor(shot.pixel(at + QPoint(8, 8))), QColor(picture.pixel(at)));
    // Outside the picture the client is white.
    QCOMPARE(QColor(shot.pixel(395, 395)), QColor(Qt::white));
    QCOMPARE(QColor(shot.pixel(2, 2)), QColor(Qt::white));
}

QTEST_MAIN(TestImageOptionsDlg)
#include "tst_image_options_dlg.moc"
