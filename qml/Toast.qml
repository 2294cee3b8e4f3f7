import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// Non-modal notice in the bottom-right corner of the window; closes only through its buttons.
Popup {
    id: root

    property int taskId: -1
    property string message: ""
    property string subMessage: ""

    signal activated(int taskId)

    function showToast(newTaskId, msg, sub) {
        root.taskId = newTaskId
        root.message = msg
        root.subMessage = sub
        root.open()
    }

    function stopSound() {
        notifier.stopSound()
    }

    parent: Overlay.overlay
    z: 9999
    modal: false
    focus: false
    closePolicy: Popup.NoAutoClose
    width: 360
    padding: 12
    x: parent ? parent.width - width - 20 : 20
    y: parent ? parent.height - height - 20 : 20

    background: Rectangle {
        color: "#202020"
        radius: 1
        border.color: "#721675"
    }

    contentItem: ColumnLayout {
        spacing: 6

        Label {
            objectName: "toastMessage"
            Layout.fillWidth: true

            Announcement {
                text: root.subMessage === "" ? root.message : root.message + " " + root.subMessage
            }
            text: root.message
            color: "white"
            font.pixelSize: 14
            wrapMode: Text.WordWrap
        }

        Label {
            objectName: "toastSubMessage"
            Layout.fillWidth: true
            visible: root.subMessage !== ""
            text: root.subMessage
            color: "#cfcfcf"
            font.pixelSize: 12
            wrapMode: Text.WordWrap
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 8

            Item {
                Layout.fillWidth: true
            }

            Button {
                objectName: "toastShowButton"
                text: qsTr("Show")
                onClicked: {
                    root.stopSound()
                    root.close()
                    root.activated(root.taskId)
                }
            }

            Button {
                objectName: "toastDismissButton"
                text: qsTr("Dismiss")
                onClicked: {
                    root.stopSound()
                    root.close()
                }
            }
        }
    }
}
