import QtQuick
import QtQuick.Controls

// A column header of a sortable table. A click, Space or Return sorts by its column: ascending, or
// the other way round when the table is already sorted by it. The service has sortColumn, sortOrder
// and sort(column, order).
Rectangle {
    id: root

    required property int column
    required property var display
    property var service: null
    readonly property bool sorted: root.service !== null && root.service.sortColumn === root.column
    readonly property bool ascending: root.service === null || root.service.sortOrder !== Qt.DescendingOrder

    function sortHere() {
        root.service.sort(root.column, root.sorted && root.ascending ? Qt.DescendingOrder : Qt.AscendingOrder)
    }

    implicitHeight: 40
    color: root.sorted ? "#666" : "#444"
    border.color: root.activeFocus ? "white" : "transparent"
    border.width: 2
    activeFocusOnTab: true
    Accessible.role: Accessible.ColumnHeader
    Accessible.focusable: true
    Accessible.name: !root.sorted ? String(root.display)
                     : root.ascending ? qsTr("%1, sorted ascending").arg(root.display)
                                      : qsTr("%1, sorted descending").arg(root.display)
    Accessible.onPressAction: root.sortHere()
    Keys.onSpacePressed: root.sortHere()
    Keys.onReturnPressed: root.sortHere()

    Row {
        anchors.centerIn: parent
        spacing: 5

        Text {
            text: root.display
            color: "white"
            Accessible.ignored: true
        }
        Text {
            objectName: "sortArrow"
            visible: root.sorted
            text: root.ascending ? "▲" : "▼"
            color: "white"
            Accessible.ignored: true
        }
    }

    TapHandler {
        onTapped: root.sortHere()
    }
}
