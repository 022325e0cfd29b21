#include "options/options_dlg.h"

#include "options/option_skin.h"
#include "options/save_folder_page.h"
#include "shell/lang.h"
#include "skin/image_button.h"

#include <QLineEdit>

OptionsDlg::OptionsDlg(const QString &saveFolder, QWidget *parent)
    : SkinDialog(parent)
    , m_saveFolder(saveFolder)
{
    m_created = SetOptionsCaption(*this);
    if (!m_created)
        return;
    UseDefaultFont(*this);
    setWindowTitle(Lang::Get("IDS_DIALOG_CONVERTER_INFO"));
    SetClientSize(400, 450);
    SetBackgroundColor(Qt::white);

    QWidget *client = Client();
    m_tab = CreateCommandButton(client, IdTab, "option_tab.png", "IDS_ETC_TAB_NAME", QRect(10, 16, 120, 24));
    m_tab->SetTextPos(16, 0);
    m_tab->SetTextAlign(Qt::AlignLeft | Qt::AlignVCenter);
    // The selected tab is the page's heading, so its text stays dark.
    m_tab->SetDisabledFontColor(Qt::black);
    connect(m_tab, &ImageButton::clicked, this, &OptionsDlg::OnTab);
    auto *apply =
        CreateCommandButton(client, IdApply, "option_bt01.png", "IDS_BTN_OPTION_APPLY", QRect(70, 408, 110, 30));
    connect(apply, &ImageButton::clicked, this, &OptionsDlg::OnApply);
    auto *cancel =
        CreateCommandButton(client, IdCancel, "option_bt01.png", "IDS_BTN_OPTION_CANCEL", QRect(200, 408, 110, 30));
    connect(cancel, &ImageButton::clicked, this, &QDialog::reject);

    m_page = new SaveFolderPage(&m_saveFolder, client);
    m_page->setGeometry(10, 40, 375, 360);
    m_page->show();
    m_tab->SetState(ImageButton::StateSelected);
}

OptionsDlg::~OptionsDlg() = default;

bool OptionsDlg::Edit(QString &folder, QWidget *parent)
{
    OptionsDlg dialog(folder, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    folder = dialog.SaveFolder();
    return true;
}

int OptionsDlg::exec()
{
    if (!m_created) {
        setResult(QDialog::Rejected);
        return QDialog::Rejected;
    }
    return SkinDialog::exec();
}

ImageButton *OptionsDlg::Button(int id) const { return FindButton(Client(), id); }

void OptionsDlg::OnTab()
{
    m_tab->SetState(ImageButton::StateSelected);
    m_page->show();
}

void OptionsDlg::OnApply()
{
    if (m_page->IsInputValid())
        accept();
}
