import QtQuick
import QtQuick.Controls

// A combo box whose value text carries the box's accessible name, so that a screen reader meets no
// nameless text inside it.
ComboBox {
    id: root

    Component.onCompleted: root.contentItem.Accessible.name = Qt.binding(() => root.Accessible.name)
}
