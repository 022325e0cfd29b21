#pragma once

#include "skin/skin_dialog.h"

#include <QList>
#include <QPixmap>
#include <QStringList>

#include <optional>

class ConverterPage;
class ImageButton;
class ImageWindow;
class MovieWindow;

// The program's one top-level window: caption strip, a 44-pixel header with the two mode tabs
// and the logo, and below it the movie and image pages, one visible at a time (movie first).
// It owns both pages; leaving a mode is refused while that mode converts, and closing (caption
// close, Escape) stops an active run (the movie page asks first) and closes once it has ended,
// without waiting for it; the kept lists are written first. Window thread.
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

    // False when the caption images could not be read; the program then ends without a window.
    bool IsCreated() const { return m_created; }

    // The pages, children at (0, 44), 700 x 444; nullptr when the window was not created.
    MovieWindow *MoviePage() const { return m_moviePage; }
    ImageWindow *ImagePage() const { return m_imagePage; }
    ImageButton *MovieTab() const { return m_movieTab; }
    ImageButton *ImageTab() const { return m_imageTab; }
    ImageButton *Logo() const { return m_logo; }

    Mode CurrentMode() const { return m_mode; }
    // Shows the mode's page; false (after telling the user) when the page being left converts.
    bool SwitchTo(Mode mode);

    // What a close request runs: each page stops its active run (ConfirmExit: the movie page
    // asks first, and No keeps everything going). Once no run is active any more (a movie's
    // engine gone, killed when it lingers, an image's picture in work finished), writes the
    // kept lists and closes the window. A request while one is under way changes nothing.
    void ExitProcedure();

    // Brings the window to the user: shown when hidden, restored when minimised, raised, activated.
    void Raise();

    // Files from outside the window (the command line, a later start): each page takes those
    // its list takes by extension as a drop of them would, in order, up to a folder or a file
    // it refuses and names. The first one's page is shown unless the page in view converts; a
    // page that converts takes none and says so.
    void OpenFiles(const QStringList &paths);

protected:
    void PaintClient(QPainter &painter, const QRect &dirty) override;
    void closeEvent(QCloseEvent *event) override;

private:
    bool Create();
    ConverterPage *PageOf(Mode mode) const;
    // The mode whose list takes the file's extension; none for a file neither takes.
    static std::optional<Mode> ModeTaking(const QString &path);
    // Both pages, once made.
    QList<ConverterPage *> Pages() const;
    // Writes both pages' kept lists now (before a power-off, and on closing).
    void FlushKeptLists();
    void FinishExit();

    bool m_created = false;
    bool m_exiting = false; // a close waits for a run to end
    Mode m_mode = Mode::Movie;
    QPixmap m_header;
    ImageButton *m_movieTab = nullptr;
    ImageButton *m_imageTab = nullptr;
    ImageButton *m_logo = nullptr;
    MovieWindow *m_moviePage = nullptr;
    ImageWindow *m_imagePage = nullptr;
};
