#include "app/launcher_window.h"

#include "platform/shell_open.h"
#include "shell/app_paths.h"
#include "shell/image_button.h"
#include "shell/lang.h"
#include "shell/message_box.h"

#include <QCloseEvent>
#include <QPainter>
#include <QUrl>
#include <QVBoxLayout>

LauncherWindow::LauncherWindow(QWidget *parent)
    : SkinDialog(parent)
{
    m_created = Create();
}

LauncherWindow::~LauncherWindow() = default;

bool LauncherWindow::Create()
{
    if (!SetCaptionImage(QStringLiteral("Comm_Caption.png"), QStringLiteral("Laun_close.png"),
                         QStringLiteral("Comm_max.png"), QStringLiteral("Laun_mini.png"),
                         QStringLiteral("Laun_help.png")))
        return false;

    setWindowIcon(QIcon(GetResFilePath(QStringLiteral("framepress.png"))));
    setWindowTitle(Lang::Get(QStringLiteral("IDS_APP_HAN_NAME")));
    SetFontName(Lang::Get(QStringLiteral("IDS_GOPT_DEFAULT_FONT")),
                Lang::GetInt(QStringLiteral("IDS_GOPT_DEFAULT_FONTSIZE")));
    SetBackgroundColor(Qt::white);
    SetClientSize(kClientWidth, kClientHeight);
    m_header = QPixmap(GetResFilePath(QStringLiteral("convertor_middle.bmp")));

    QWidget *client = Client();
    const QRect pageRect(0, kHeaderHeight, kClientWidth, kClientHeight - kHeaderHeight);
    m_imagePage = new QWidget(client);
    m_imagePage->setObjectName(QStringLiteral("imagePage"));
    m_imagePage->setGeometry(pageRect);
    m_imagePage->hide();
    m_moviePage = new QWidget(client);
    m_moviePage->setObjectName(QStringLiteral("moviePage"));
    m_moviePage->setGeometry(pageRect);
    // Both modes draw on navy 0x4D3620; an empty area shows it too, under the selected tab.
    for (QWidget *page : {m_moviePage, m_imagePage}) {
        QPalette pal = page->palette();
        pal.setColor(QPalette::Window, ColorFromRef(0x4D3620));
        page->setPalette(pal);
        page->setAutoFillBackground(true);
    }

    m_movieTab = new ImageButton;
    m_movieTab->Create(client, kMovieTabId, QStringLiteral("tab_mode_movie.png"), QString(),
                       QRect(11, 0, 99, kHeaderHeight));
    m_imageTab = new ImageButton;
    m_imageTab->Create(client, kImageTabId, QStringLiteral("tab_mode_image.png"), QString(),
                       QRect(121, 0, 99, kHeaderHeight));
    m_logo = new ImageButton;
    const QPixmap logo(GetResFilePath(QStringLiteral("top_logo.png")));
    const int logoWidth = logo.isNull() ? 112 : logo.width() / m_logo->FrameCount();
    m_logo->Create(client, kLogoId, QStringLiteral("top_logo.png"), QString(),
                   QRect(579, 0, logoWidth, kHeaderHeight));

    connect(m_movieTab, &QAbstractButton::clicked, this, [this] { SwitchTo(Mode::Movie); });
    connect(m_imageTab, &QAbstractButton::clicked, this, [this] { SwitchTo(Mode::Image); });
    connect(m_logo, &QAbstractButton::clicked, this, [] {
        platform::OpenUrl(QUrl(Lang::Get(QStringLiteral("IDS_GOPT_HOMEPAGE")).trimmed()));
    });

    m_movieTab->SetState(ImageButton::StateSelected);
    m_imageTab->SetState(ImageButton::StateNormal);
    return true;
}

void LauncherWindow::HostPage(Mode mode, QWidget *page)
{
    QWidget *area = mode == Mode::Movie ? m_moviePage : m_imagePage;
    if (!area->layout()) {
        auto *layout = new QVBoxLayout(area);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }
    area->layout()->addWidget(page);
    page->show();
}

void LauncherWindow::SetConvertingQuery(Mode mode, std::function<bool()> isConverting)
{
    (mode == Mode::Movie ? m_movieConverting : m_imageConverting) = std::move(isConverting);
}

bool LauncherWindow::SwitchTo(Mode mode)
{
    const auto &leavingBusy = mode == Mode::Image ? m_movieConverting : m_imageConverting;
    if (mode != m_mode && leavingBusy && leavingBusy()) {
        XMessageBoxKey(QStringLiteral("IDS_MESSAGEBOX_CONVERTING"), MB_ICONEXCLAMATION);
        return false;
    }
    UpdateLock lock(this);
    const bool movie = mode == Mode::Movie;
    m_movieTab->SetState(movie ? ImageButton::StateSelected : ImageButton::StateNormal);
    m_imageTab->SetState(movie ? ImageButton::StateNormal : ImageButton::StateSelected);
    m_moviePage->setVisible(movie);
    m_imagePage->setVisible(!movie);
    m_mode = mode;
    return true;
}

void LauncherWindow::Raise()
{
    if (isMinimized())
        showNormal();
    else if (!isVisible())
        show();
    raise();
    activateWindow();
}

void LauncherWindow::PaintClient(QPainter &painter, const QRect &dirty)
{
    SkinDialog::PaintClient(painter, dirty);
    const QRect header(0, 0, kClientWidth, kHeaderHeight);
    if (!dirty.intersects(header))
        return;
    if (m_header.isNull())
        painter.fillRect(header, ColorFromRef(0x3F2A16));
    else
        painter.drawPixmap(0, 0, m_header);
}

void LauncherWindow::closeEvent(QCloseEvent *event)
{
    event->ignore();
    if (m_exitProcedure && !m_exitProcedure())
        return;
    accept();
}
