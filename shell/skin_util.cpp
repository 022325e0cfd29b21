#include "shell/skin_util.h"

#include "shell/app_paths.h"
#include "shell/image_button.h"
#include "shell/lang.h"

#include <QDir>
#include <QImage>
#include <QMimeData>
#include <QUrl>

QStringList LocalFiles(const QMimeData *mime)
{
    QStringList paths;
    if (!mime)
        return paths;
    for (const QUrl &url : mime->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    return paths;
}

QSize FrameSize(const QString &image, int frames, QSize fallback)
{
    const QImage picture(GetResFilePath(image));
    if (picture.isNull() || frames < 1)
        return fallback;
    return QSize(picture.width() / frames, picture.height());
}

QString FolderWithSlash(QString folder)
{
    folder = QDir::fromNativeSeparators(folder);
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

ImageButton *MakeSkinButton(QWidget *parent, int id, const QString &image, const QString &text, QPoint at,
                            int frames)
{
    auto *button = new ImageButton;
    button->Create(parent, id, image, text, QRect(at, FrameSize(image, frames, QSize(70, 30))));
    button->SetFontName(Lang::Get(QStringLiteral("IDS_GOPT_DEFAULT_FONT")));
    button->SetFontStyle(true);
    return button;
}

ImageButton *MakeSkinLabel(QWidget *parent, int id, const QRect &rect)
{
    auto *label = new ImageButton;
    label->CreateStatic(parent, id, QString(), rect);
    label->SetFontName(Lang::Get(QStringLiteral("IDS_GOPT_DEFAULT_FONT")));
    label->SetFontStyle(true);
    label->SetFontColor(Qt::black);
    return label;
}

void StyleBigButtons(std::initializer_list<ImageButton *> buttons)
{
    const double bigFont = Lang::GetInt(QStringLiteral("IDS_GOPT_BIGBTN_FONTSIZE"));
    for (ImageButton *big : buttons) {
        big->SetTextPos(0, 16);
        big->SetTextSize(big->width(), qMax(0, big->height() - 16));
        big->SetFontColor(Qt::white);
        big->SetDisabledFontColor(QColor(0xDD, 0xE4, 0xEC));
        if (bigFont > 0)
            big->SetFontSize(bigFont * 0.75);   // the skin's size is in pixels
    }
}

void StyleMenuButtons(std::initializer_list<ImageButton *> buttons)
{
    for (ImageButton *menu : buttons) {
        menu->SetTextPos(32, 0);
        menu->SetTextSize(qMax(0, menu->width() - 36), menu->height());
        menu->SetFontColor(Qt::black);
    }
}
