#include "movie/movie_window.h"

#include "encode/settings_store.h"
#include "options/options_dlg.h"
#include "platform/shell_open.h"
#include "shell/app_paths.h"
#include "shell/image_button.h"
#include "shell/lang.h"
#include "shell/message_box.h"
#include "shell/skin_util.h"
#include "widgets/file_list_ctrl.h"
#include "widgets/progress_bar_ctrl.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPainter>

MovieWindow::MovieWindow(QWidget *parent, Kind kind)
    : SkinDialog(parent, kind)
    , m_list(new FileListCtrl)
    , m_jobs(*m_list)
    , m_optionsDialog([](QWidget *owner, QString &folder) { return OptionsDlg::Edit(folder, owner); })
{
    setWindowTitle(Lang::Get(QStringLiteral("IDS_APP_HAN_NAME")));
    setWindowIcon(QIcon(GetResFilePath(QStringLiteral("framepress.png"))));
    SetFontName(Lang::Get(QStringLiteral("IDS_GOPT_DEFAULT_FONT")),
                Lang::GetInt(QStringLiteral("IDS_GOPT_DEFAULT_FONTSIZE")));
    SetBackgroundColor(ColorFromRef(kPageBackground));
    if (kind == Kind::Window)
        SetCaptionImage(QStringLiteral("Comm_Caption.png"), QStringLiteral("Laun_close.png"),
                        QStringLiteral("Comm_max.png"), QStringLiteral("Laun_mini.png"), QString());
    SetClientSize(kClientWidth, kClientHeight);
    CreateControls();
    Initialise();
}

MovieWindow::~MovieWindow()
{
    // The driver stops a running engine while the controls it names still exist.
    m_driver.reset();
}

ImageButton *MovieWindow::MakeButton(int id, const QString &image, const QString &text, QPoint at,
                                     int frames)
{
    return MakeSkinButton(Client(), id, image, text, at, frames);
}

ImageButton *MovieWindow::MakeLabel(int id, const QRect &rect)
{
    return MakeSkinLabel(Client(), id, rect);
}

void MovieWindow::CreateControls()
{
    auto text = [](const char *key) { return Lang::Get(QString::fromLatin1(key)); };
    MovieControls &c = m_controls;
    c.window = this;

    // Convert, Pause and Resume share one place; one of them shows at a time.
    c.convert = MakeButton(kConvertId, QStringLiteral("bt_convert.png"), text("IDS_BTN_MAIN_CONVERT"), {506, 345});
    c.cancel = MakeButton(kCancelId, QStringLiteral("bt_cancel.png"), text("IDS_BTN_MAIN_CANCEL"), {580, 345});
    c.pause = MakeButton(kPauseId, QStringLiteral("bt_pause.png"), text("IDS_BTN_MAIN_PAUSE"), {506, 345});
    c.resume = MakeButton(kResumeId, QStringLiteral("bt_resume.png"), text("IDS_BTN_MAIN_RESUME"), {506, 345});
    StyleBigButtons({c.convert, c.cancel, c.pause, c.resume});
    c.pause->hide();
    c.resume->hide();

    m_listPanel = QPixmap(GetResFilePath(QStringLiteral("convertor_list.bmp")));
    m_infoPanel = QPixmap(GetResFilePath(QStringLiteral("convertor_info.bmp")));

    c.add = MakeButton(kAddId, QStringLiteral("menu01_add.png"), text("IDS_BTN_MAIN_ADDFILE"), {14, 6});
    c.del = MakeButton(kDeleteId, QStringLiteral("menu02_del.png"), text("IDS_BTN_MAIN_DELFILE"), {149, 6});
    c.option = MakeButton(kOptionId, QStringLiteral("menu03_option.png"), text("IDS_BTN_MAIN_OPTION"), {284, 6});
    StyleMenuButtons({c.add, c.del, c.option});

    for (auto [button, id, key, at] : {std::tuple{&c.hd, int(kHdId), "IDS_RD_HD", QPoint(485, 6)},
                                       std::tuple{&c.sd, int(kSdId), "IDS_RD_SD", QPoint(585, 6)}})
        *button = MakeSkinRadio(Client(), id, text(key), at);
    c.hd->SetCheck(true);
    c.sd->SetCheck(false);

    for (auto [box, id, key, rect] :
         {std::tuple{&c.deleteSources, int(kDeleteSourcesId), "IDS_BTN_MAIN_ORIFILEDEL", QRect(39, 232, 250, 14)},
          std::tuple{&c.shutDown, int(kShutDownId), "IDS_BTN_MAIN_SYSTEMOFF", QRect(290, 232, 390, 14)}})
        *box = MakeSkinCheckBox(Client(), id, text(key), rect);
    FitOptionBoxes(c.deleteSources, c.shutDown, kClientWidth);

    c.folderLabel = MakeLabel(kFolderLabelId, QRect(40, 302, 580, 18));
    m_openFolder = MakeButton(kOpenFolderId, QStringLiteral("bt_folder_open.png"), QString(), {628, 299});

    c.currentBar = new ProgressBarCtrl(Client());
    c.totalBar = new ProgressBarCtrl(Client());
    c.currentBar->SetImages(ProgressBarCtrl::TrackId, ProgressBarCtrl::FillCurrentId);
    c.totalBar->SetImages(ProgressBarCtrl::TrackId, ProgressBarCtrl::FillTotalId);
    for (ProgressBarCtrl *bar : {c.currentBar, c.totalBar}) {
        bar->SetBackgroundColor(0xFFFFFF);
        bar->SetRange(0, 100);
        bar->SetPosition(0);
    }

    c.currentTitle = MakeLabel(kTitleId, QRect(42, 337, 96, 16));
    c.speed = MakeLabel(kSpeedId, QRect(140, 337, 200, 16));
    c.time = MakeLabel(kTitleId, QRect(342, 337, 140, 16));
    c.totalTitle = MakeLabel(kTitleId, QRect(42, 377, 78, 16));
    c.count = MakeLabel(kCountId, QRect(122, 377, 120, 16));

    m_list->setParent(Client());
    m_list->setObjectName(QStringLiteral("jobList"));

    connect(c.convert, &QAbstractButton::clicked, this, &MovieWindow::OnConvertCommand);
    connect(c.add, &QAbstractButton::clicked, this, &MovieWindow::OnAddCommand);
    connect(c.del, &QAbstractButton::clicked, this, &MovieWindow::OnDeleteCommand);
    connect(c.option, &QAbstractButton::clicked, this, &MovieWindow::OnOptionCommand);
    connect(m_openFolder, &QAbstractButton::clicked, this, &MovieWindow::OnOpenFolderCommand);
    connect(m_list, &FileListCtrl::filesDropped, this, &MovieWindow::OnFilesDropped);
}

void MovieWindow::Initialise()
{
    MovieControls &c = m_controls;
    SettingsStore(Lang::Get(QStringLiteral("IDS_APP_NAME"))).Initialise(m_settings, c.hd->GetCheck());

    m_jobs.Configure();
    m_list->setGeometry(28, 77, 640, 140);
    m_list->SetDragAllowed(true);   // rows may be reordered whenever no run is active
    m_list->SetAcceptFileDrops(true);
    m_list->show();
    setAcceptDrops(true);
    c.currentBar->setGeometry(40, 356, 440, 10);
    c.totalBar->setGeometry(40, 396, 440, 10);

    c.folderLabel->SetWindowTextW(m_settings.options.SaveFolder);
    c.cancel->SetState(ImageButton::StateSelected);

    m_driver = std::make_unique<ConversionDriver>(c, m_jobs, m_engine, m_settings);
    m_driver->ResetProgress();
    connect(c.cancel, &QAbstractButton::clicked, m_driver.get(), &ConversionDriver::Cancel);
    connect(c.pause, &QAbstractButton::clicked, m_driver.get(), &ConversionDriver::Pause);
    connect(c.resume, &QAbstractButton::clicked, m_driver.get(), &ConversionDriver::Resume);
    connect(m_driver.get(), &ConversionDriver::runStateChanged, this, &MovieWindow::runStateChanged);
}

void MovieWindow::SetSaveFolder(const QString &folder)
{
    const QString path = FolderWithSlash(folder);
    m_settings.options.SaveFolder = path;
    SettingsStore(Lang::Get(QStringLiteral("IDS_APP_NAME"))).Save(m_settings);
    if (!m_driver->IsFileActive())
        m_controls.folderLabel->SetWindowTextW(path);
}

bool MovieWindow::ConfirmExit()
{
    return m_driver->ConfirmExit();
}

// --- commands ------------------------------------------------------------------------------

void MovieWindow::OnConvertCommand()
{
    m_driver->StartNextFile();
}

void MovieWindow::OnAddCommand()
{
    // The disabled look alone would not stop a call made while busy.
    if (m_driver->IsBusy() || m_driver->IsRunStarted())
        return;
    m_jobs.AddThroughDialog(this);
}

void MovieWindow::OnDeleteCommand()
{
    if (m_engine.IsAlive()) {
        XMessageBoxKey(QStringLiteral("IDS_MESSAGEBOX_CONVERTING"), MB_ICONQUESTION);
        return;
    }
    if (m_driver->IsBusy() || m_driver->IsRunStarted() || m_list->RowCount() == 0)
        return;
    if (m_jobs.DeleteCheckedRows() && m_list->RowCount() == 0)
        m_driver->ForgetCurrentRow();
}

void MovieWindow::OnOptionCommand()
{
    if (m_engine.IsAlive()) {
        XMessageBoxKey(QStringLiteral("IDS_MESSAGEBOX_CONVERTING"), MB_ICONQUESTION);
        return;
    }
    if (m_driver->IsBusy() || !m_optionsDialog)
        return;
    QString folder = m_settings.options.SaveFolder;
    if (m_optionsDialog(this, folder))
        SetSaveFolder(folder);
}

void MovieWindow::OnOpenFolderCommand()
{
    platform::OpenFolder(m_settings.options.SaveFolder);
}

void MovieWindow::OnFilesDropped(const QStringList &paths)
{
    if (m_engine.IsAlive()) {
        XMessageBoxKey(QStringLiteral("IDS_MESSAGEBOX_CONVERT_NO"), MB_ICONQUESTION);
        return;
    }
    if (m_driver->IsBusy() || m_driver->IsRunStarted())
        return;
    m_jobs.AddJobFiles(paths);
}

// --- events --------------------------------------------------------------------------------

void MovieWindow::PaintClient(QPainter &painter, const QRect &dirty)
{
    PaintPageBackground(painter, dirty, m_listPanel, m_infoPanel);
}

void MovieWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        OnDeleteCommand();
        event->accept();
        return;
    }
    SkinDialog::keyPressEvent(event);
}

void MovieWindow::closeEvent(QCloseEvent *event)
{
    if (!ConfirmExit()) {
        event->ignore();
        return;
    }
    event->accept();
    accept();   // the dialog ends with OK
}

void MovieWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!m_driver->IsBusy() && !LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void MovieWindow::dragMoveEvent(QDragMoveEvent *event)
{
    if (!m_driver->IsBusy() && !LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void MovieWindow::dropEvent(QDropEvent *event)
{
    const QStringList paths = LocalFiles(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    OnFilesDropped(paths);
}
