import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The "Sync" group of the settings dialog: the CalDAV account of the signed-in user (server, user
// name, password, task list), and once it is set up, its state with "Sync now" and "Disconnect".
ColumnLayout {
    id: root

    // Set while the lists of the typed account are being looked up.
    property bool findingLists: false
    readonly property bool createNew: listBox.currentIndex === listBox.count - 1

    function listNames() {
        const names = syncService.lists.map(list => list.name !== "" ? list.name : list.url)
        names.push(qsTr("Create a new list"))
        return names
    }

    function connectAccount() {
        message.text = ""
        const list = root.createNew ? null : syncService.lists[listBox.currentIndex]
        syncService.connectAccount(serverField.text, userField.text, passwordField.text,
                                   list ? list.url : "", list ? list.name : newListField.text)
    }

    spacing: 10
    onVisibleChanged: if (!visible) message.text = ""

    Label {
        Layout.topMargin: 16
        text: qsTr("Sync")
        font.pointSize: 14
    }

    Label {
        objectName: "syncSettingsStatus"
        Layout.fillWidth: true
        text: syncService.status
        color: syncService.error !== "" ? "#ff9966" : "#bbbbbb"
        wrapMode: Text.Wrap
    }

    ColumnLayout {
        objectName: "syncAccountForm"
        Layout.fillWidth: true
        visible: !syncService.configured
        spacing: 10

        Label {
            text: qsTr("Server address")
        }

        TextField {
            id: serverField

            objectName: "syncServerField"
            Layout.fillWidth: true
            selectByMouse: true
            placeholderText: qsTr("https://cloud.example or its CalDAV address")
            Accessible.name: qsTr("Server address")
        }

        Label {
            text: qsTr("User name")
        }

        TextField {
            id: userField

            objectName: "syncUserField"
            Layout.fillWidth: true
            selectByMouse: true
            Accessible.name: qsTr("User name")
        }

        Label {
            text: qsTr("Password or app password")
        }

        TextField {
            id: passwordField

            objectName: "syncPasswordField"
            Layout.fillWidth: true
            echoMode: TextInput.Password
            // Qt 6.4 gives a password field no accessible name; its placeholder is read as the description.
            placeholderText: qsTr("Password or app password")
            Accessible.name: qsTr("Password or app password")
            Accessible.passwordEdit: true
        }

        RowLayout {
            Button {
                objectName: "findListsButton"
                text: qsTr("Find task lists")
                enabled: !syncService.busy && serverField.text.trim() !== "" && userField.text.trim() !== ""
                onClicked: {
                    message.text = ""
                    root.findingLists = true
                    syncService.findLists(serverField.text, userField.text, passwordField.text)
                }
            }

            BusyIndicator {
                Layout.preferredWidth: 32
                Layout.preferredHeight: 32
                running: syncService.busy
                visible: running
            }
        }

        Label {
            text: qsTr("Task list")
        }

        NamedComboBox {
            id: listBox

            objectName: "syncListBox"
            Layout.fillWidth: true
            model: root.listNames()
            Accessible.name: qsTr("Task list")
        }

        TextField {
            id: newListField

            objectName: "syncNewListField"
            Layout.fillWidth: true
            visible: root.createNew
            text: qsTr("Tasks")
            Accessible.name: qsTr("Name of the new list")
        }

        Button {
            objectName: "syncConnectButton"
            text: qsTr("Connect")
            enabled: !syncService.busy && serverField.text.trim() !== "" && userField.text.trim() !== ""
                     && (!root.createNew || newListField.text.trim() !== "")
            onClicked: root.connectAccount()
        }
    }

    ColumnLayout {
        objectName: "syncAccountView"
        Layout.fillWidth: true
        visible: syncService.configured
        spacing: 10

        Label {
            Layout.fillWidth: true
            text: qsTr("Tasks sync with the list \"%1\" on %2 as %3.")
                      .arg(syncService.listName).arg(syncService.serverUrl).arg(syncService.username)
            wrapMode: Text.Wrap
        }

        RowLayout {
            visible: syncService.errorKind === "auth" || syncService.errorKind === "secrets"

            TextField {
                id: newPasswordField

                objectName: "syncNewPasswordField"
                Layout.fillWidth: true
                echoMode: TextInput.Password
                placeholderText: qsTr("Password or app password")
                Accessible.name: qsTr("Password or app password")
            }

            Button {
                objectName: "syncSavePasswordButton"
                text: qsTr("Use password")
                enabled: newPasswordField.text !== ""
                onClicked: {
                    syncService.setPassword(newPasswordField.text)
                    newPasswordField.text = ""
                }
            }
        }

        ProgressBar {
            Layout.fillWidth: true
            visible: syncService.busy
            indeterminate: syncService.progress < 0
            value: Math.max(0, syncService.progress)
        }

        RowLayout {
            Button {
                objectName: "syncSettingsNowButton"
                text: qsTr("Sync now")
                enabled: !syncService.busy
                onClicked: syncService.syncNow()
            }

            Button {
                text: qsTr("Cancel sync")
                visible: syncService.busy
                onClicked: syncService.cancel()
            }

            Button {
                objectName: "syncDisconnectButton"
                text: qsTr("Disconnect")
                onClicked: syncService.disconnectAccount()
            }
        }
    }

    Label {
        id: message

        objectName: "syncMessage"
        Layout.fillWidth: true
        wrapMode: Text.Wrap
        visible: text !== ""
    }

    Connections {
        target: syncService

        function onListsChanged() {
            if (!root.findingLists || syncService.busy)
                return
            root.findingLists = false
            listBox.currentIndex = 0
            message.text = syncService.lists.length > 0
                ? qsTr("Found %n task list(s).", "", syncService.lists.length)
                : qsTr("No task list found: %1").arg(syncService.error !== "" ? syncService.error
                                                                               : qsTr("create a new one."))
        }

        function onConnectFinished(ok, reason) {
            message.text = ok ? qsTr("Connected.") : qsTr("Not connected: %1").arg(reason)
            if (ok)
                passwordField.text = ""
        }
    }
}
