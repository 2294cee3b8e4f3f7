import QtQuick
import QtQuick.Controls

TextField {
    id: root

    property color baseColor: "#121212"
    property color disabledColor: "#2c2c34"
    property color borderColor: "#ffffff"
    property color hoverBorderColor: "#aeb8ff"
    property color focusBorderColor: "#7291ff"
    readonly property color hoverFillColor: Qt.lighter(baseColor, 1.08)
    readonly property color focusFillColor: Qt.darker(baseColor, 1.12)

    implicitHeight: 24
    leftPadding: 12
    rightPadding: 12
    topPadding: 0
    bottomPadding: 0
    hoverEnabled: true
    font.pixelSize: 14
    color: enabled ? "#ffffff" : "#7f7f87"
    placeholderTextColor: "#9ea4b3"
    selectionColor: "#536dfe"
    selectedTextColor: "#ffffff"

    background: Rectangle {
        radius: 4
        border.width: 1
        border.color: !root.enabled ? "#5b606b"
                    : root.activeFocus ? root.focusBorderColor
                    : root.hovered ? root.hoverBorderColor
                    : root.borderColor
        color: !root.enabled ? root.disabledColor
             : root.activeFocus ? root.focusFillColor
             : root.hovered ? root.hoverFillColor
             : root.baseColor
    }
}
