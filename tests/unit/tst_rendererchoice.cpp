#include "app/RendererChoice.h"

#include <QTest>

// The software renderer is the program's choice, never one that overrides the environment's.
class TstRendererChoice : public QObject
{
    Q_OBJECT

private slots:
    void keepsTheEnvironmentsChoice_data()
    {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("software");
        QTest::newRow("none") << QByteArray() << QByteArray() << true;
        QTest::newRow("an empty one") << QByteArrayLiteral("QSG_RHI_BACKEND") << QByteArray() << true;
        QTest::newRow("an adaptation")
            << QByteArrayLiteral("QT_QUICK_BACKEND") << QByteArrayLiteral("rhi") << false;
        QTest::newRow("a graphics interface")
            << QByteArrayLiteral("QSG_RHI_BACKEND") << QByteArrayLiteral("vulkan") << false;
    }
    void keepsTheEnvironmentsChoice()
    {
        QFETCH(QByteArray, variable);
        QFETCH(QByteArray, value);
        QFETCH(bool, software);
        qunsetenv("QT_QUICK_BACKEND");
        qunsetenv("QSG_RHI_BACKEND");
        if (!variable.isEmpty())
            qputenv(variable.constData(), value);
        QCOMPARE(RendererChoice::softwareWanted(), software);
    }
};

QTEST_GUILESS_MAIN(TstRendererChoice)
#include "tst_rendererchoice.moc"
