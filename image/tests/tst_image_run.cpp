#include <QTest>
class TestImageRun : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(TestImageRun)
#include "tst_image_run.moc"
