pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// Modal popup in which an expiry is picked to the minute: a day on the month grid, then hour and minute.
// The host sets the width, chooses where it starts (openAt, or openFor a text field) and acts on confirmed.
Popup {
    id: root

    // The date-time being edited.
    property date tmpDate: new Date()
    // The text field being edited, for hosts that pick into one; forgotten once a pick is confirmed.
    property var opener: null
    // Return confirms and Ctrl+arrow keys step the hour and minute while the popup is open.
    property bool keysEnabled: true

    // The picked date-time, also as "yyyy-MM-dd HH:mm" text; emitted before the popup closes.
    signal confirmed(date picked, string text)

    // "yyyy-MM-dd HH:mm" as a local date-time; null for any other text.
    function parseDateTime(text) {
        const match = /^(\d{4})-(\d{2})-(\d{2}) (\d{2}):(\d{2})$/.exec(text ? String(text) : "")
        return match ? new Date(+match[1], match[2] - 1, +match[3], +match[4], +match[5], 0) : null
    }

    function openAt(start) {
        root.tmpDate = start
        hourSpin.value = start.getHours()
        minuteSpin.value = start.getMinutes()
        root.open()
        datePicker.selectDate(start)
    }

    // Starts at the date-time the field shows, or at fallback when its text does not read as one.
    function openFor(field, fallback = new Date()) {
        root.opener = field
        root.openAt(root.parseDateTime(field.text.trim()) ?? fallback)
    }

    function confirm() {
        datePicker.forceActiveFocus() // a spin box takes a typed value when it loses the focus
        const picked = new Date(root.tmpDate)
        root.confirmed(picked, Qt.formatDateTime(picked, "yyyy-MM-dd HH:mm"))
        root.opener = null
        root.close()
    }

    function setTime(hours, minutes) {
        const d = new Date(root.tmpDate)
        d.setHours(hours, minutes, 0, 0)
        root.tmpDate = d
    }

    modal: true
    focus: true
    padding: 12
    anchors.centerIn: parent
    background: Rectangle {
        color: "#202020"
        radius: 12
        border.color: "#3a3a3a"
    }

    ColumnLayout {
        width: root.availableWidth
        spacing: 10

        MyDatePicker {
            id: datePicker
            objectName: "datePicker"
            locale: Qt.locale(language.localeName)
            month: root.tmpDate.getMonth()
            year: root.tmpDate.getFullYear()
            Layout.fillWidth: true
            onDateSelected: d => {
                const t = root.tmpDate
                root.tmpDate = new Date(d.getFullYear(), d.getMonth(), d.getDate(), t.getHours(), t.getMinutes())
            }
        }
        RowLayout {
            spacing: 10
            Layout.fillWidth: true

            Label {
                text: qsTr("Time:")
                color: "white"
            }
            SpinBox {
                id: hourSpin
                objectName: "hourSpin"
                Accessible.name: qsTr("Hour")
                from: 0
                to: 23
                editable: true
                onValueChanged: root.setTime(hourSpin.value, root.tmpDate.getMinutes())
            }
            Label {
                text: ":"
                color: "white"
            }
            SpinBox {
                id: minuteSpin
                objectName: "minuteSpin"
                Accessible.name: qsTr("Minute")
                from: 0
                to: 59
                editable: true
                onValueChanged: root.setTime(root.tmpDate.getHours(), minuteSpin.value)
            }
            Item {
                Layout.fillWidth: true
            }
            Button {
                objectName: "pickerCancelButton"
                text: qsTr("Cancel")
                onClicked: root.close()
            }
            Button {
                objectName: "pickerOkButton"
                text: qsTr("OK")
                onClicked: root.confirm()
            }
        }

        Shortcut {
            sequences: ["Return", "Enter"]
            enabled: root.keysEnabled && root.visible
            onActivated: root.confirm()
        }
        Shortcut {
            sequences: ["Ctrl+Up"]
            enabled: root.keysEnabled && root.visible && hourSpin.value < 23
            onActivated: hourSpin.value += 1
        }
        Shortcut {
            sequences: ["Ctrl+Down"]
            enabled: root.keysEnabled && root.visible && hourSpin.value > 0
            onActivated: hourSpin.value -= 1
        }
        Shortcut {
            sequences: ["Ctrl+Right"]
            enabled: root.keysEnabled && root.visible && minuteSpin.value < 59
            onActivated: minuteSpin.value += 1
        }
        Shortcut {
            sequences: ["Ctrl+Left"]
            enabled: root.keysEnabled && root.visible && minuteSpin.value > 0
            onActivated: minuteSpin.value -= 1
        }
    }
}
