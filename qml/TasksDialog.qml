pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

import "TaskLevels.js" as TaskLevels

// The tasks of one day. The opener fills dialogDateKey and dialogTasks and reacts to the two requests.
Dialog {
    id: root

    property string dialogDateKey: ""
    property var dialogTasks: []
    readonly property var weekdayNames: [qsTr("Sunday"), qsTr("Monday"), qsTr("Tuesday"), qsTr("Wednesday"),
        qsTr("Thursday"), qsTr("Friday"), qsTr("Saturday")]

    signal taskOpenRequested(var task)
    signal taskActionsRequested(var task)

    // The key names a calendar date, so its weekday is counted in UTC and is the same in every zone.
    function weekdayOf(dateKey) {
        const parts = /^(\d{4})-(\d{2})-(\d{2})$/.exec(dateKey)
        if (!parts)
            return ""
        const day = new Date(0)
        day.setUTCFullYear(Number(parts[1]), Number(parts[2]) - 1, Number(parts[3]))
        return weekdayNames[day.getUTCDay()]
    }

    function escapeMarkup(text) {
        return String(text).replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;")
    }

    // A task's label as styled text, after a square in the colour of its level.
    function taskLabel(task) {
        return "<font color=\"" + TaskLevels.color(task.level) + "\">\u25A0</font> " + escapeMarkup(task.label)
    }

    parent: Overlay.overlay
    anchors.centerIn: parent
    modal: true
    width: 420
    title: (weekdayOf(dialogDateKey) + " " + dialogDateKey).trim()
    standardButtons: Dialog.Close

    contentItem: Item {
        implicitWidth: 380
        implicitHeight: 320

        ColumnLayout {
            anchors.fill: parent
            spacing: 10

            Label {
                objectName: "taskCountLabel"
                color: "#d0d0d0"
                font.pixelSize: 13
                text: root.dialogTasks.length > 0 ? qsTr("%1 task").arg(root.dialogTasks.length)
                                                  : qsTr("No tasks for this date")
            }

            ListView {
                id: taskList
                objectName: "taskListView"
                Layout.fillWidth: true
                Layout.fillHeight: true
                clip: true
                spacing: 6
                model: root.dialogTasks
                ScrollBar.vertical: ScrollBar {}

                delegate: Rectangle {
                    id: entry
                    required property var modelData
                    objectName: "dayTaskEntry"
                    width: ListView.view.width
                    height: entryText.implicitHeight + 18
                    radius: 6
                    color: "#5f5f5f"
                    border.width: 1
                    border.color: entry.modelData.active ? "#721675" : "#424242"

                    Text {
                        id: entryText
                        anchors.left: parent.left
                        anchors.right: parent.right
                        anchors.verticalCenter: parent.verticalCenter
                        anchors.margins: 9
                        color: "white"
                        wrapMode: Text.Wrap
                        textFormat: Text.StyledText
                        text: root.taskLabel(entry.modelData)
                    }

                    MouseArea {
                        anchors.fill: parent
                        acceptedButtons: Qt.LeftButton | Qt.RightButton
                        cursorShape: Qt.PointingHandCursor
                        onClicked: mouse => {
                            if (mouse.button === Qt.RightButton)
                                root.taskActionsRequested(entry.modelData)
                            else
                                root.taskOpenRequested(entry.modelData)
                        }
                    }
                }
            }
        }
    }
}
