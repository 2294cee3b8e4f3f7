import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// Month grid for choosing a day; the arrow keys move the selected day.
ColumnLayout {
    id: root

    property int month: new Date().getMonth()
    property int year: new Date().getFullYear()
    property var locale: Qt.locale()
    // The selected day at local midnight, in milliseconds since the epoch.
    property real selectedTime: Date.now()
    readonly property date selectedDate: new Date(root.selectedTime)

    signal dateSelected(date d)

    function selectDate(d) {
        const day = new Date(d)
        day.setHours(0, 0, 0, 0)
        root.selectedTime = day.getTime()
        root.month = day.getMonth()
        root.year = day.getFullYear()
        root.forceActiveFocus()
        root.dateSelected(day)
    }

    function prevMonth() {
        if (root.month === 0) {
            root.month = 11
            root.year -= 1
        } else {
            root.month -= 1
        }
    }

    function nextMonth() {
        if (root.month === 11) {
            root.month = 0
            root.year += 1
        } else {
            root.month += 1
        }
    }

    function shiftDay(delta) {
        const day = new Date(root.selectedTime)
        day.setDate(day.getDate() + delta)
        root.selectDate(day)
    }

    function stepFor(key) {
        switch (key) {
        case Qt.Key_Left: return -1
        case Qt.Key_Right: return 1
        case Qt.Key_Up: return -7
        case Qt.Key_Down: return 7
        }
        return 0
    }

    activeFocusOnTab: true
    Accessible.role: Accessible.Table
    Accessible.name: qsTr("Day")
    // The chosen day, read out on focus and whenever the arrows move it.
    Accessible.description: root.selectedDate.toLocaleDateString(root.locale, Locale.LongFormat)

    // Window shortcuts on the arrow keys must not take them from the grid.
    Keys.onShortcutOverride: event => event.accepted = event.modifiers === Qt.NoModifier
                             && root.stepFor(event.key) !== 0
    Keys.onPressed: event => {
        const step = event.modifiers === Qt.NoModifier ? root.stepFor(event.key) : 0
        if (step !== 0) {
            root.shiftDay(step)
            event.accepted = true
        }
    }

    RowLayout {
        spacing: 8
        Layout.fillWidth: true

        ToolButton {
            text: "◀"
            Accessible.name: qsTr("Previous month")
            onClicked: root.prevMonth()
        }
        Label {
            text: new Date(root.year, root.month, 1).toLocaleDateString(root.locale, "MMMM yyyy")
            color: "white"
            font.pixelSize: 14
            horizontalAlignment: Text.AlignHCenter
            Layout.fillWidth: true
        }
        ToolButton {
            text: "▶"
            Accessible.name: qsTr("Next month")
            onClicked: root.nextMonth()
        }
    }

    DayOfWeekRow {
        locale: root.locale
        Layout.fillWidth: true
        delegate: Label {
            required property string shortName
            text: shortName
            color: "white"
            font.bold: true
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
    }

    MonthGrid {
        id: grid
        month: root.month
        year: root.year
        locale: root.locale
        Layout.fillWidth: true

        delegate: Rectangle {
            id: cell
            required property var model
            // Built from the parts, as a date role may arrive at midnight UTC instead of local.
            readonly property date day: new Date(cell.model.year, cell.model.month, cell.model.day)
            readonly property bool selected: cell.day.getTime() === root.selectedTime
            implicitWidth: 40
            implicitHeight: 34
            radius: 6
            color: cell.selected ? Qt.rgba(0x2a / 255, 0x6d / 255, 0xf4 / 255, 0.35) : "transparent"
            border.width: cell.selected && root.activeFocus ? 1 : 0
            border.color: "white"
            Accessible.role: Accessible.Cell
            Accessible.name: cell.day.toLocaleDateString(root.locale, Locale.LongFormat)
            Accessible.selected: cell.selected

            Text {
                anchors.centerIn: parent
                text: cell.model.day
                color: "white"
                opacity: cell.model.month === root.month ? 1 : 0.55 // 4.5:1 on the popup
                Accessible.ignored: true
            }

            TapHandler {
                onTapped: root.selectDate(cell.day)
            }
        }
    }
}
