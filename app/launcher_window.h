#pragma once

#include "shell/skin_dialog.h"

#include <QPixmap>

#include <functional>

class ImageButton;

// The program's one top-level window: caption strip, a 44-pixel header with the two mode tabs
// and the logo, and below it the movie and image pages, one visible at a time (movie first).
// The pages are hosted in MoviePageArea() and ImagePageArea(). Window thread.
class LauncherWindow : public SkinDialog {
    Q_OBJECT
public:
    static constexpr int kMovieTabId = 1014;
    static constexpr int kImageTabId = 1015;
    static constexpr int kLogoId = 1094;
    static constexpr int kClientWidth = 700;
    static constexpr int kClientHeight = 488;
    static constexpr int kHeaderHeight = 44;

    enum class Mode { Movie, Image };

    explicit LauncherWindow(QWidget *parent = nullptr);
    ~LauncherWindow() override;

    // False when the caption images could not be read; the program then ends without a window.
    bool IsCreated() const { return m_created; }

    // Client-area children at (0, 44), 700 x 444, that the mode windows fill.
    QWidget *MoviePageArea() const { return m_moviePage; }
    QWidget *ImagePageArea() const { return m_imagePage; }
    // Puts a mode window (e.g. a SkinDialog of Kind::Child) into its area, filling it; the
    // area owns it from then on.
    void HostPage(Mode mode, QWidget *page);
    ImageButton *MovieTab() const { return m_movieTab; }
    ImageButton *ImageTab() const { return m_imageTab; }
    ImageButton *Logo() const { return m_logo; }

    Mode CurrentMode() const { return m_mode; }
    // Leaving a mode is refused (with a message) while that mode converts; the pages answer.
    void SetConvertingQuery(Mode mode, std::function<bool()> isConverting);
    // Shows the mode's page; false when the page being left is converting.
    bool SwitchTo(Mode mode);

    // Decides whether a close request (caption close, Escape) may end the window, e.g. after
    // asking and stopping a running conversion. Without one the window closes at once.
    void SetExitProcedure(std::function<bool()> exitProcedure) { m_exitProcedure = std::move(exitProcedure); }

    // Brings the window to the user: shown when hidden, restored when minimised, raised, activated.
    void Raise();

protected:
    void PaintClient(QPainter &painter, const QRect &dirty) override;
    void closeEvent(QCloseEvent *event) override;

private:
    bool Create();

    bool m_created = false;
    Mode m_mode = Mode::Movie;
    QPixmap m_header;
    ImageButton *m_movieTab = nullptr;
    ImageButton *m_imageTab = nullptr;
    ImageButton *m_logo = nullptr;
    QWidget *m_moviePage = nullptr;
    QWidget *m_imagePage = nullptr;
    std::function<bool()> m_movieConverting;
    std::function<bool()> m_imageConverting;
    std::function<bool()> m_exitProcedure;
};
