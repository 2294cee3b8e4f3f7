#include <QTest>

class TstDbmanager : public QObject
{
    Q_OBJECT
private slots:
    void placeholder() {}
};

QTEST_GUILESS_MAIN(TstDbmanager)
#include "tst_dbmanager.moc"
