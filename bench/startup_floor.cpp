// The least a window of the program's kind costs to start on this machine: the same application class,
// style, renderer and render loop, a form of two fields and a button, no database and no services.
// scripts/bench-results.sh times it to its first frame beside the real program.
#include "app/RendererChoice.h"

#include <QApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Universal"));
    RendererChoice::apply();
    QQmlApplicationEngine engine;
    engine.loadData(QByteArrayLiteral("import QtQuick\nimport QtQuick.Controls\nimport QtQuick.Layouts\n"
                                      "ApplicationWindow { visible: true; width: 1000; height: 700\n"
                                      "  ColumnLayout { anchors.centerIn: parent\n"
                                      "    TextField { placeholderText: \"User name\" }\n"
                                      "    TextField { echoMode: TextInput.Password }\n"
                                      "    Button { text: \"Sign in\" } } }"));
    if (engine.rootObjects().isEmpty())
        return 1;
    return app.exec();
}
