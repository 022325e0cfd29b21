#include "options/image_options_dlg.h"

#include "options/folder_choice.h"
#include "options/option_skin.h"
#include "shell/app_paths.h"
#include "shell/lang.h"
#include "skin/image_button.h"

#include <QLineEdit>
#include <QPainter>

namespace {

const QPoint kPictureAt(8, 8);

} // namespace

ImageOptionsDlg::ImageOptionsDlg(const ImageOptionValues &values, QWidget *parent)
    : SkinDialog(parent)
    , m_values(values)
{
    // Without the caption images the dialog still opens with every control, so the
    // settings stay reachable; it only lacks the caption strip.
    SetOptionsCaption(*this);
    UseDefaultFont(*this);
    setWindowTitle(Lang::Get("IDS_DIALOG_CONVERTER_INFO"));
    SetClientSize(400, 400);
    SetBackgroundColor(Qt::white);
    m_picture = QPixmap(GetResFilePath("option_image_rotate.bmp"));

    QWidget *client = Client();
    CreateLabel(client, IdTitle, "IDS_OPT_SAVEFOLDER", QRect(30, 25, 235, 18), true);
    m_folderField = CreateFolderField(client, QRect(30, 47, 235, 20));
    m_folderField->setText(m_values.saveFolder);
    m_folderField->setCursorPosition(0);
    auto *choose = CreateCommandButton(client, IdChooseFolder, "option_bt02.png", "IDS_BTN_OPTION_FOLDER_SEL",
                                       QRect(270, 45, 100, 24));
    connect(choose, &ImageButton::clicked, this, &ImageOptionsDlg::OnChooseFolder);

    m_rotate = new ImageButton(client);
    m_rotate->SetButtonStyle(ImageButton::CheckBoxStyle);
    m_rotate->Create(client, IdRotate, "checkbox(C0403).png", Lang::Get("IDS_OPT_USEIMAGEROTATE"),
                     QRect(30, 92, 300, 20));
    connect(m_rotate, &ImageButton::clicked, this, &ImageOptionsDlg::OnRotateClicked);

    const int ids[3] = {IdRotate90, IdRotate180, IdRotate270};
    const char *keys[3] = {"IDS_OPT_ROTATE90", "IDS_OPT_ROTATE180", "IDS_OPT_ROTATE270"};
    const int lefts[3] = {45, 155, 265};
    for (int i = 0; i < 3; ++i) {
        m_angles[i] = new ImageButton(client);
        m_angles[i]->SetButtonStyle(ImageButton::RadioStyle);
        m_angles[i]->Create(client, ids[i], "bt_radiobt.png", Lang::Get(QLatin1String(keys[i])),
                            QRect(lefts[i], 200, 100, 20));
    }

    auto *apply =
        CreateCommandButton(client, IdApply, "option_bt01.png", "IDS_BTN_OPTION_APPLY", QRect(70, 300, 110, 30));
    connect(apply, &ImageButton::clicked, this, &ImageOptionsDlg::OnApply);
    auto *cancel =
        CreateCommandButton(client, IdCancel, "option_bt01.png", "IDS_BTN_OPTION_CANCEL", QRect(200, 300, 110, 30));
    connect(cancel, &ImageButton::clicked, this, &QDialog::reject);

    // Any angle other than 1, 2 or 3 checks no choice; Apply then keeps it.
    if (m_values.rotateAngle >= 1 && m_values.rotateAngle <= 3)
        m_angles[m_values.rotateAngle - 1]->SetCheck(true);
    m_rotate->SetCheck(m_values.rotateImage != 0);
    ShowAngleLook();
}

ImageOptionsDlg::~ImageOptionsDlg() = default;

bool ImageOptionsDlg::Edit(ImageOptionValues &values, QWidget *parent)
{
    ImageOptionsDlg dialog(values, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    values = dialog.Values();
    return true;
}

ImageButton *ImageOptionsDlg::Button(int id) const { return FindButton(Client(), id); }

void ImageOptionsDlg::ShowAngleLook()
{
    const int state = m_values.rotateImage != 0 ? ImageButton::StateNormal : ImageButton::StateSelected;
    for (ImageButton *angle : m_angles)
        angle->SetState(state);
}

void ImageOptionsDlg::OnRotateClicked()
{
    m_values.rotateImage = m_values.rotateImage != 0 ? 0 : 1;
    ShowAngleLook();
}

void ImageOptionsDlg::OnChooseFolder()
{
    const std::optional<QString> picked = BrowseForFolder(this, m_values.saveFolder);
    if (!picked)
        return;
    m_values.saveFolder = *picked;
    m_folderField->setText(*picked);
    m_folderField->setCursorPosition(0);
}

void ImageOptionsDlg::OnApply()
{
    // With more than one choice checked the first of 90, 180, 270 wins.
    for (quint32 i = 0; i < 3; ++i) {
        if (m_angles[i]->GetCheck()) {
            m_values.rotateAngle = i + 1;
            break;
        }
    }
    accept();
}

void ImageOptionsDlg::PaintClient(QPainter &painter, const QRect &dirty)
{
    painter.fillRect(dirty, Qt::white);
    if (!m_picture.isNull())
        painter.drawPixmap(kPictureAt, m_picture);
}
