import QtQuick
import QtQuick.Controls

Button {
    id: root

    property color baseColor: "#121212"
    property color disabledColor: "#2c2c34"

    implicitHeight: 24
    implicitWidth: Math.max(100, buttonMetrics.advanceWidth + root.leftPadding + root.rightPadding)
    leftPadding: 12
    rightPadding: 12
    topPadding: 0
    bottomPadding: 0
    spacing: 8
    hoverEnabled: true
    font.pixelSize: 14

    TextMetrics {
        id: buttonMetrics

        font: root.font
        text: root.text
    }

    background: Rectangle {
        radius: 0
        border.width: 1
        border.color: root.hovered ? "#aeb8ff" : (root.activeFocus ? "#7291ff" : "#ffffff")
        color: !root.enabled ? root.disabledColor
             : root.down ? Qt.darker(root.baseColor, 1.2)
             : root.hovered ? Qt.lighter(root.baseColor, 1.15)
             : root.baseColor
    }

    contentItem: Text {
        text: root.text
        font: root.font
        color: root.enabled ? "#ffffff" : "#7f7f87"
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
}
