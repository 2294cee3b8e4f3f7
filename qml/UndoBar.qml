import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The short notice at the bottom of the window: what was just deleted, with "Undo" while it can be
// taken back (Ctrl+Z as well), or what could not be done.
Popup {
    id: root

    parent: Overlay.overlay
    z: 9998
    modal: false
    focus: false
    closePolicy: Popup.NoAutoClose
    visible: undoService.notice !== ""
    padding: 10
    x: parent ? Math.round((parent.width - width) / 2) : 0
    y: parent ? parent.height - height - 64 : 0 // above the pager and its counters
    width: Math.min(480, parent ? parent.width - 40 : 480)

    background: Rectangle {
        color: "#202020"
        border.color: "#721675"
    }

    Shortcut {
        sequences: [StandardKey.Undo]
        context: Qt.ApplicationShortcut
        enabled: undoService.canUndo
        onActivated: undoService.undo()
    }

    contentItem: RowLayout {
        spacing: 10

        Label {
            objectName: "undoNotice"
            Layout.fillWidth: true
            text: undoService.notice
            color: "white"
            wrapMode: Text.WordWrap

            Announcement {
                text: undoService.notice
            }
        }

        Button {
            objectName: "undoButton"
            visible: undoService.canUndo
            text: qsTr("Undo")
            Accessible.name: text
            onClicked: undoService.undo()
        }

        Button {
            objectName: "undoDismissButton"
            text: "✕"
            Accessible.name: qsTr("Dismiss")
            onClicked: undoService.dismiss()
        }
    }
}
