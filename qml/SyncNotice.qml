import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A note on a task that a sync changed in a way the user should know of: a value of theirs that a
// later change on the server replaced, or a delete that met an edit.
Rectangle {
    id: root

    property alias text: message.text

    signal dismissed()

    implicitHeight: row.implicitHeight + 16
    color: "#3a2f00"
    border.color: "#ffcc33"
    radius: 4
    Accessible.role: Accessible.AlertMessage
    Accessible.name: qsTr("Sync notice: %1").arg(root.text)

    RowLayout {
        id: row

        anchors.fill: parent
        anchors.margins: 8
        spacing: 8

        Label {
            id: message

            objectName: "syncNoticeText"
            Layout.fillWidth: true
            color: "#ffe699"
            wrapMode: Text.Wrap
        }

        Button {
            objectName: "dismissSyncNoticeButton"
            text: qsTr("Dismiss")
            onClicked: root.dismissed()
        }
    }
}
