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
    // The entry Return or a click acted on last: the list keeps it when it is read again.
    property int actedIndex: 0

    signal taskOpenRequested(var task)
    signal taskActionsRequested(var task)

    // The key names a calendar date, so it is read in UTC and is the same day in every zone.
    function utcDay(dateKey) {
        const parts = /^(\d{4})-(\d{2})-(\d{2})$/.exec(dateKey)
        if (!parts)
            return null
        const day = new Date(0)
        day.setUTCFullYear(Number(parts[1]), Number(parts[2]) - 1, Number(parts[3]))
        return day
    }

    function weekdayOf(dateKey) {
        const day = utcDay(dateKey)
        return day ? root.locale.dayName(day.getUTCDay()) : ""
    }

    // "Tuesday 8 December"
    function dayTitle(dateKey) {
        const day = utcDay(dateKey)
        if (!day)
            return dateKey
        return qsTr("%1 %2 %3", "weekday, day of the month, month").arg(root.locale.dayName(day.getUTCDay()))
            .arg(day.getUTCDate()).arg(root.locale.monthName(day.getUTCMonth()))
    }

    // What a screen reader says of a task: "09:30 - Call, level 30, open".
    function taskSummary(task) {
        return task.active ? qsTr("%1, level %2, done").arg(task.label).arg(task.level)
                           : qsTr("%1, level %2, open").arg(task.label).arg(task.level)
    }

    function openTask(index) {
        actedIndex = index
        taskOpenRequested(dialogTasks[index])
    }

    function openTaskActions(index) {
        actedIndex = index
        taskActionsRequested(dialogTasks[index])
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
    // Focus comes back to the list when a popup opened from it closes.
    focus: true
    locale: Qt.locale(language.localeName)
    width: 420
    title: (weekdayOf(dialogDateKey) + " " + dialogDateKey).trim()
    standardButtons: Dialog.Close
    footer: DialogButtons {}

    onOpened: {
        actedIndex = 0
        taskList.currentIndex = 0
        taskList.forceActiveFocus()
    }

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
                text: root.dialogTasks.length > 0 ? qsTr("%n task", "", root.dialogTasks.length)
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
                focus: true
                activeFocusOnTab: true
                keyNavigationEnabled: true
                Accessible.role: Accessible.List
                Accessible.name: root.title

                onCountChanged: currentIndex = Math.min(root.actedIndex, count - 1)
                // Up and Down are the view's own; Return opens the task, the menu key its actions.
                Keys.onPressed: event => {
                    if (currentIndex < 0)
                        return
                    if (event.key === Qt.Key_Return || event.key === Qt.Key_Enter)
                        root.openTask(currentIndex)
                    else if (event.key === Qt.Key_Menu || (event.key === Qt.Key_F10 && event.modifiers & Qt.ShiftModifier))
                        root.openTaskActions(currentIndex)
                    else
                        return
                    event.accepted = true
                }

                delegate: Rectangle {
                    id: entry
                    required property var modelData
                    required property int index
                    objectName: "dayTaskEntry"
                    width: ListView.view.width
                    height: entryText.implicitHeight + 18
                    radius: 6
                    color: "#5f5f5f"
                    border.width: 1
                    border.color: entry.modelData.active ? "#721675" : "#424242"
                    Accessible.role: Accessible.ListItem
                    Accessible.name: root.taskSummary(entry.modelData)
                    Accessible.selected: entry.ListView.isCurrentItem
                    Accessible.onPressAction: root.openTask(entry.index)

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
                        Accessible.ignored: true
                    }

                    // The focus frame, over the border that tells done from open.
                    Rectangle {
                        anchors.fill: parent
                        visible: entry.ListView.isCurrentItem && taskList.activeFocus
                        radius: entry.radius
                        color: "transparent"
                        border.width: 2
                        border.color: "white"
                    }

                    MouseArea {
                        anchors.fill: parent
                        acceptedButtons: Qt.LeftButton | Qt.RightButton
                        cursorShape: Qt.PointingHandCursor
                        onClicked: mouse => {
                            taskList.currentIndex = entry.index
                            if (mouse.button === Qt.RightButton)
                                root.openTaskActions(entry.index)
                            else
                                root.openTask(entry.index)
                        }
                    }
                }
            }
        }
    }
}
