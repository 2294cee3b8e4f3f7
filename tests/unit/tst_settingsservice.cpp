#include <QTest>

class TstSettingsservice : public QObject
{
    Q_OBJECT
private slots:
    void placeholder() {}
};

QTEST_GUILESS_MAIN(TstSettingsservice)
#include "tst_settingsservice.moc"
