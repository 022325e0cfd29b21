#include <QTest>
class TstMovieWindow : public QObject { Q_OBJECT };
QTEST_MAIN(TstMovieWindow)
#include "tst_movie_window.moc"
