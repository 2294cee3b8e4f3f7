pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// Small modal menu of what can be done to one task: open it, flip its done flag, delete it.
// The host says which task through hasTask and taskDone and carries out the three requests.
Dialog {
    id: root

    // Whether there is a task to act on; the buttons are disabled otherwise.
    property bool hasTask: false
    property bool taskDone: false
    property alias openButton: openButton
    property alias toggleButton: toggleButton
    property alias deleteButton: deleteButton

    signal openRequested()
    signal toggleRequested()
    signal deleteRequested()

    modal: true
    anchors.centerIn: parent
    width: 150
    // The style's wide dialog padding would leave too little room for "Set Pending".
    padding: 12
    title: ""

    ColumnLayout {
        width: root.availableWidth
        spacing: 8

        Button {
            id: openButton
            objectName: "openButton"
            text: qsTr("Open")
            enabled: root.hasTask
            Layout.fillWidth: true
            onClicked: {
                root.close()
                root.openRequested()
            }
        }
        Button {
            id: toggleButton
            objectName: "toggleButton"
            text: root.taskDone ? qsTr("Set Pending") : qsTr("Set Done")
            enabled: root.hasTask
            Layout.fillWidth: true
            onClicked: {
                root.toggleRequested()
                root.close()
            }
        }
        Button {
            id: deleteButton
            objectName: "deleteButton"
            text: qsTr("Delete")
            enabled: root.hasTask
            Layout.fillWidth: true
            onClicked: {
                root.close()
                root.deleteRequested()
            }
        }
    }
}
