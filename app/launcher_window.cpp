#include "app/launcher_window.h"

#include "image/image_window.h"
#include "movie/movie_window.h"
#include "platform/shell_open.h"
#include "shell/app_paths.h"
#include "shell/file_intake.h"
#include "shell/lang.h"
#include "skin/image_button.h"
#include "skin/message_box.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QPainter>
#include <QUrl>

LauncherWindow::LauncherWindow(QWidget *parent)
    : SkinDialog(parent)
{
    m_created = Create();
}

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
    // The pages fill everything below the header, whatever size they were made for.
    const QRect pageRect(0, kHeaderHeight, kClientWidth, kClientHeight - kHeaderHeight);
    const auto place = [&pageRect](SkinDialog *page) {
        page->setFixedSize(pageRect.size());
        page->move(pageRect.topLeft());
    };

    m_imageTab = new ImageButton;
    m_imageTab->Create(client, kImageTabId, QStringLiteral("tab_mode_image.png"), QString(),
                       QRect(121, 0, 99, kHeaderHeight));
    m_imagePage = new ImageWindow(client, SkinDialog::Kind::Child);
    m_imagePage->setObjectName(QStringLiteral("imagePage"));
    place(m_imagePage);
    m_imagePage->hide();

    m_movieTab = new ImageButton;
    m_movieTab->Create(client, kMovieTabId, QStringLiteral("tab_mode_movie.png"), QString(),
                       QRect(11, 0, 99, kHeaderHeight));
    m_moviePage = new MovieWindow(client, SkinDialog::Kind::Child);
    m_moviePage->setObjectName(QStringLiteral("moviePage"));
    place(m_moviePage);

    m_logo = new ImageButton;
    const QPixmap logo(GetResFilePath(QStringLiteral("top_logo.png")));
    const int logoWidth = logo.isNull() ? 112 : logo.width() / m_logo->FrameCount();
    m_logo->Create(client, kLogoId, QStringLiteral("top_logo.png"), QString(), QRect(579, 0, logoWidth, kHeaderHeight));

    // Whichever page powers the machine off, neither list may lose its last change.
    for (ConverterPage *page : Pages())
        connect(page, &ConverterPage::aboutToPowerOff, this, &LauncherWindow::FlushKeptLists);
    connect(m_movieTab, &QAbstractButton::clicked, this, [this] { SwitchTo(Mode::Movie); });
    connect(m_imageTab, &QAbstractButton::clicked, this, [this] { SwitchTo(Mode::Image); });
    connect(m_logo, &QAbstractButton::clicked, this,
            [] { platform::OpenUrl(QUrl(Lang::Get(QStringLiteral("IDS_GOPT_HOMEPAGE")).trimmed())); });

    m_movieTab->SetState(ImageButton::StateSelected);
    m_imageTab->SetState(ImageButton::StateNormal);
    m_moviePage->show();
    return true;
}

ConverterPage *LauncherWindow::PageOf(Mode mode) const
{
    if (mode == Mode::Movie)
        return m_moviePage;
    return m_imagePage;
}

bool LauncherWindow::SwitchTo(Mode mode)
{
    if (!m_created)
        return false;
    const Mode leaving = mode == Mode::Image ? Mode::Movie : Mode::Image;
    if (mode != m_mode && PageOf(leaving)->IsRunActive()) {
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

std::optional<LauncherWindow::Mode> LauncherWindow::ModeTaking(const QString &path)
{
    const QString extension = QFileInfo(path).suffix().toLower();
    if (ParseExtensionList(Lang::Get(QStringLiteral("IDS_SUPPORT_FILES"))).contains(extension))
        return Mode::Movie;
    if (ParseExtensionList(Lang::Get(QStringLiteral("IDS_SUPPORT_IMAGE_FILES"))).contains(extension))
        return Mode::Image;
    return std::nullopt;
}

void LauncherWindow::OpenFiles(const QStringList &paths)
{
    if (!m_created)
        return;
    // A file no list takes goes to the page of the first one a list takes, whose list names it.
    std::optional<Mode> first;
    for (const QString &path : paths) {
        if (!first)
            first = ModeTaking(path);
    }
    QStringList batches[2]; // by mode, each in order
    for (const QString &path : paths)
        batches[int(ModeTaking(path).value_or(first.value_or(Mode::Movie)))] << path;
    // Leaving a page that converts is refused; its files then wait on the other page unseen.
    if (first && !PageOf(m_mode)->IsRunActive())
        SwitchTo(*first);
    for (Mode mode : {Mode::Movie, Mode::Image}) {
        const QStringList &batch = batches[int(mode)];
        if (batch.isEmpty())
            continue;
        // A drop cannot reach a page that converts; files from outside are told why.
        if (PageOf(mode)->IsRunActive())
            XMessageBoxKey(QStringLiteral("IDS_MESSAGEBOX_CONVERT_NO"), MB_ICONQUESTION);
        else
            PageOf(mode)->OnFilesDropped(batch);
    }
}

void LauncherWindow::ExitProcedure()
{
    if (m_exiting)
        return;
    for (ConverterPage *page : Pages()) {
        if (!page->ConfirmExit())
            return;
    }
    m_exiting = true;
    FinishExit();
}

void LauncherWindow::FinishExit()
{
    if (!m_exiting)
        return;
    for (ConverterPage *page : Pages()) {
        if (page->IsRunActive()) {
            // Its run is on its way out; the close goes on a turn after the run's end is handled.
            connect(
                page, &ConverterPage::runActiveChanged, this,
                [this](bool active) {
                    if (!active)
                        FinishExit();
                },
                Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
            return;
        }
    }
    m_exiting = false;
    // What the stops changed in the lists is on disk before the window goes.
    FlushKeptLists();
    accept();
}

QList<ConverterPage *> LauncherWindow::Pages() const
{
    if (!m_moviePage || !m_imagePage)
        return {};
    return {m_moviePage, m_imagePage};
}

void LauncherWindow::FlushKeptLists()
{
    for (ConverterPage *page : Pages())
        page->KeptList().Flush();
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
    event->ignore(); // ExitProcedure accepts the dialog, now or once the movie run has ended
    ExitProcedure();
}
