import QtQuick
import QtQuick.Controls

ApplicationWindow {
    id: root
    width: 1300
    height: 700
    visible: true
    title: qsTr("Duevia")
}
