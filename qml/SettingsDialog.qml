import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts

// Edits the preferences in place: every change is written to the settings service at once, except
// the server string, which OK stores and Cancel drops. A refused one brings the dialog back.
Dialog {
    id: root

    component ShortcutLabel: Label {
        color: "white"
    }

    component GroupHeading: Label {
        font.pointSize: 14
    }

    // Keeps the control that has the keyboard focus in view while Tab moves through the long form.
    function showFocused() {
        const window = content.Window.window
        const item = window ? window.activeFocusItem : null
        let inside = item
        while (inside && inside !== content)
            inside = inside.parent
        if (!root.visible || !inside)
            return
        const flick = scroller.contentItem
        const top = item.mapToItem(content, 0, 0).y
        if (top < flick.contentY)
            flick.contentY = Math.max(0, top - 8)
        else if (top + item.height > flick.contentY + flick.height)
            flick.contentY = Math.min(top + item.height + 8 - flick.height, content.height - flick.height)
    }

    parent: Overlay.overlay
    anchors.centerIn: parent
    // The reference list is long: on a low window the content scrolls instead of being cut off.
    height: Math.min(implicitHeight, parent ? parent.height - 24 : implicitHeight)
    modal: true
    title: qsTr("Settings")
    standardButtons: Dialog.Ok | Dialog.Cancel
    footer: DialogButtons {}
    onAccepted: if (!serverSettings.apply()) Qt.callLater(open)

    Connections {
        target: content.Window.window

        function onActiveFocusItemChanged() {
            root.showFocused()
        }
    }

    ScrollView {
        id: scroller

        anchors.fill: parent
        implicitWidth: 360 + ScrollBar.vertical.width
        implicitHeight: content.implicitHeight
        contentWidth: 360
        clip: true

        ColumnLayout {
            id: content

            width: 360
            spacing: 10

            GroupHeading {
                text: qsTr("Notifications")
            }

            RowLayout {
                SpinBox {
                    objectName: "notifyMinutesSpinBox"
                    Accessible.name: qsTr("Minutes before task expiration")
                    from: 1
                    to: 1440
                    editable: true
                    wheelEnabled: true
                    value: settings.notifyMinutes
                    onValueModified: settings.notifyMinutes = value
                }

                Label {
                    text: qsTr("Minutes before task expiration")
                }
            }

            Button {
                objectName: "chooseSoundButton"
                text: qsTr("Choose sound (WAV/MP3)")
                onClicked: soundDialog.open()
            }

            Label {
                objectName: "soundFileLabel"
                Layout.fillWidth: true
                text: settings.soundFile
                wrapMode: Text.WrapAnywhere
            }

            CheckBox {
                objectName: "desktopNotificationsCheckBox"
                text: qsTr("Desktop notifications")
                checked: settings.desktopNotifications
                onToggled: settings.desktopNotifications = checked
            }

            GroupHeading {
                Layout.topMargin: 16
                text: qsTr("Shortcuts main")
            }

            Flow {
                Layout.fillWidth: true
                spacing: 10

                ShortcutLabel { text: qsTr("alt+1: tasks") }
                ShortcutLabel { text: qsTr("alt+2: calendar") }
                ShortcutLabel { text: qsTr("alt+3: customers") }
                ShortcutLabel { text: qsTr("alt+4: task chart") }
                ShortcutLabel { text: qsTr("ctrl+l: logout") }
            }

            GroupHeading {
                text: qsTr("Shortcuts task/calendar table")
            }

            Flow {
                Layout.fillWidth: true
                spacing: 10

                ShortcutLabel { text: qsTr("ctrl+f: search") }
                ShortcutLabel { text: qsTr("ctrl+n: new") }
                ShortcutLabel { text: qsTr("ctrl+e: edit") }
                ShortcutLabel { text: qsTr("delete: delete") }
                ShortcutLabel { text: qsTr("home: first page") }
                ShortcutLabel { text: qsTr("end: last page") }
            }

            Flow {
                Layout.fillWidth: true
                spacing: 10

                ShortcutLabel { text: qsTr("up arrow: previous task") }
                ShortcutLabel { text: qsTr("down arrow: next task") }
                ShortcutLabel { text: qsTr("right arrow: next page") }
                ShortcutLabel { text: qsTr("left arrow: previous page") }
            }

            GroupHeading {
                text: qsTr("Shortcuts task form")
            }

            Flow {
                Layout.fillWidth: true
                spacing: 10

                ShortcutLabel { text: qsTr("return: save") }
                ShortcutLabel { text: qsTr("esc: close task/calendar dialog") }
                ShortcutLabel { text: qsTr("ctrl+w: higher level") }
                ShortcutLabel { text: qsTr("ctrl+q: lower level") }
                ShortcutLabel { text: qsTr("ctrl+d: toggle done") }
            }

            Flow {
                Layout.fillWidth: true
                spacing: 10

                ShortcutLabel { text: qsTr("ctrl+g: pick date & time") }
                ShortcutLabel { text: qsTr("arrows: change calendar day") }
                ShortcutLabel { text: qsTr("ctrl+up/down: change calendar hour") }
            }

            Flow {
                Layout.fillWidth: true
                spacing: 10

                ShortcutLabel { text: qsTr("ctrl+right/left: change calendar minute") }
            }

            Label {
                objectName: "databaseInUseLabel"
                Layout.fillWidth: true
                Layout.topMargin: 16
                text: qsTr("Database in use: %1").arg(dbPath)
                wrapMode: Text.WrapAnywhere
            }

            Label {
                Layout.fillWidth: true
                text: qsTr("Database path:")
                font.pointSize: 12
                wrapMode: Text.WordWrap
            }

            TextField {
                objectName: "dbPathField"
                Accessible.name: qsTr("Database path")
                Layout.fillWidth: true
                readOnly: true
                selectByMouse: true
                text: settings.dbPath
                placeholderText: defaultDbPath
            }

            RowLayout {
                Button {
                    objectName: "chooseDbButton"
                    text: qsTr("Choose DB")
                    onClicked: databaseDialog.open()
                }

                Button {
                    objectName: "useDefaultDbButton"
                    text: qsTr("Use default")
                    onClicked: settings.dbPath = ""
                }
            }

            Label {
                Layout.fillWidth: true
                text: qsTr("Restart the app to use a changed database path.")
                color: "#bbbbbb"
                wrapMode: Text.WordWrap
            }

            ServerSettings {
                id: serverSettings

                Layout.fillWidth: true
            }

            SyncSettings {
                Layout.fillWidth: true
            }

            TransferPanel {
                Layout.fillWidth: true
            }

            GroupHeading {
                Layout.topMargin: 16
                text: qsTr("Language")
            }

            NamedComboBox {
                objectName: "languageBox"
                Accessible.name: qsTr("Language")
                Layout.preferredWidth: 200
                model: language.languages
                textRole: "name"
                valueRole: "code"
                Component.onCompleted: currentIndex = indexOfValue(settings.language)
                onActivated: settings.language = currentValue
            }
        }
    }

    FileDialog {
        id: soundDialog

        objectName: "soundFileDialog"
        onAccepted: settings.soundFile = selectedFile.toString()
    }

    FileDialog {
        id: databaseDialog

        objectName: "databaseFileDialog"
        title: qsTr("Choose database")
        nameFilters: [qsTr("SQLite database (*.db *.sqlite *.sqlite3)"), qsTr("All files (*)")]
        onAccepted: settings.dbPath = selectedFile.toString()
    }
}
