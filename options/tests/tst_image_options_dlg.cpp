#include <QTest>
class TestImageOptionsDlg : public QObject { Q_OBJECT };
QTEST_MAIN(TestImageOptionsDlg)
#include "tst_image_options_dlg.moc"
