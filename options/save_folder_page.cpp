#include "options/save_folder_page.h"

#include "options/disk_usage.h"
#include "options/folder_choice.h"
#include "options/option_skin.h"
#include "shell/app_paths.h"
#include "shell/lang.h"
#include "skin/image_button.h"
#include "widgets/chart_ctrl.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

namespace {

const QColor kBackground(0xF0, 0xF0, 0xF0);
const QColor kBorder(0xC6, 0xC6, 0xC6);
constexpr int kChartInset = 30;

// "title value", the label format of the disk figures.
QString Figure(const char *key, const QString &value)
{
    return QStringLiteral("%1 %2").arg(Lang::Get(QLatin1String(key)), value);
}

} // namespace

SaveFolderPage::SaveFolderPage(QString *folder, QWidget *parent)
    : SkinDialog(parent, Kind::Child)
    , m_folder(folder)
{
    Q_ASSERT(folder);
    if (m_folder->isEmpty())
        *m_folder = AppPaths::DefaultOutputFolder(Lang::Get("IDS_APP_NAME"));

    QWidget *client = Client();
    CreateLabel(client, IdTitle, "IDS_OPT_SAVEFOLDER", QRect(10, 5, 235, 16), true);
    m_folderField = CreateFolderField(client, QRect(10, 22, 235, 18));
    m_folderField->setText(*m_folder);
    m_folderField->setCursorPosition(0);
    auto *choose = CreateCommandButton(client, IdChooseFolder, "option_bt02.png", "IDS_BTN_OPTION_FOLDER_SEL",
                                       QRect(256, 20, 100, 24));
    connect(choose, &ImageButton::clicked, this, &SaveFolderPage::ChooseFolder);

    m_drive = CreateLabel(client, IdDrive, QString(), QRect(36, 45, 320, 20), false);
    m_total = CreateLabel(client, IdTotal, QString(), QRect(36, 70, 320, 20), false);
    m_inUse = CreateLabel(client, IdInUse, QString(), QRect(36, 95, 320, 20), false);
    m_available = CreateLabel(client, IdAvailable, QString(), QRect(36, 120, 320, 20), false);

    m_group = new QFrame(client);
    m_group->setFrameStyle(QFrame::Box | QFrame::Plain);
    QPalette framePalette = m_group->palette();
    framePalette.setColor(QPalette::WindowText, kBorder);
    m_group->setPalette(framePalette);
    m_group->setGeometry(15, 140, 345, 214);
    m_group->show();

    m_chart = new ChartCtrl(client);
    m_chart->SetStyle(ChartCtrl::PieStyle);
    m_chart->SetPalette({UsedColor, FreeColor});
    m_chart->setGeometry(m_group->geometry().adjusted(kChartInset, kChartInset, -kChartInset, -kChartInset));

    RefreshDiskUsage();
}

ImageButton *SaveFolderPage::Button(int id) const { return FindButton(this, id); }

void SaveFolderPage::SetDiskWidgetsVisible(bool visible)
{
    for (QWidget *w :
         {static_cast<QWidget *>(m_drive), static_cast<QWidget *>(m_total), static_cast<QWidget *>(m_inUse),
          static_cast<QWidget *>(m_available), static_cast<QWidget *>(m_chart)})
        w->setVisible(visible);
}

void SaveFolderPage::RefreshDiskUsage()
{
    const std::optional<DiskUsage> usage = ReadDiskUsage(*m_folder);
    if (!usage) {
        m_shownRoot.clear();
        SetDiskWidgetsVisible(false);
        return;
    }
    m_shownRoot = usage->root;
    m_drive->SetWindowTextW(Figure("IDS_DRV_NAME", usage->root));
    m_total->SetWindowTextW(Figure("IDS_DRIVE_TOTAL_SIZE", FormatDiskSize(usage->total)));
    m_chart->ClearValues();
    // A full or an empty file system gives one value of 0, which the chart leaves out.
    m_chart->AddValue(double(usage->UsedPercent()), Lang::Get("IDS_USE_SIZE"), false);
    m_chart->AddValue(double(usage->FreePercent()), Lang::Get("IDS_AVAILABLE_SIZE"), false);
    m_inUse->SetWindowTextW(Figure("IDS_IN_USE", FormatDiskSize(usage->Used())));
    m_available->SetWindowTextW(Figure("IDS_AVAILA_SIZE", FormatDiskSize(usage->Available())));
    SetDiskWidgetsVisible(true);
    m_chart->update();
    update();
}

void SaveFolderPage::ChooseFolder()
{
    const std::optional<QString> picked = BrowseForFolder(this, *m_folder);
    if (!picked)
        return;
    *m_folder = *picked;
    m_folderField->setText(*picked);
    m_folderField->setCursorPosition(0);
    // Figures change only with the file system; a folder on the same one shows the same disk.
    const std::optional<DiskUsage> usage = ReadDiskUsage(*picked);
    if (!usage || usage->root != m_shownRoot)
        RefreshDiskUsage();
}

void SaveFolderPage::PaintClient(QPainter &painter, const QRect &)
{
    const QRect r = Client()->rect();
    painter.fillRect(r, kBackground);
    painter.setPen(kBorder);
    painter.drawRect(r.adjusted(0, 0, -1, -1));
}

void SaveFolderPage::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape: event->accept(); return;
    default: SkinDialog::keyPressEvent(event);
    }
}
