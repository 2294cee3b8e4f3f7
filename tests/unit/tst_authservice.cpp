#include <QTest>

class TstAuthservice : public QObject
{
    Q_OBJECT
private slots:
    void placeholder() {}
};

QTEST_GUILESS_MAIN(TstAuthservice)
#include "tst_authservice.moc"
