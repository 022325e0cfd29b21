#include <QTest>
class TestOptionsDlg : public QObject { Q_OBJECT };
QTEST_MAIN(TestOptionsDlg)
#include "tst_options_dlg.moc"
