#include "QmlTestSetup.h"

#include <QApplication>
#include <QQmlExtensionPlugin>
#include <QQuickStyle>
#include <QtQuickTest>

Q_IMPORT_QML_PLUGIN(QuilloQmlPlugin)

// The chart page needs a QApplication, which QUICK_TEST_MAIN does not create.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Universal"));
    QmlTestSetup setup;
    return quick_test_main_with_setup(argc, argv, "duevia_qml", QUICK_TEST_SOURCE_DIR, &setup);
}
