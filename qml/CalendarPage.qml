pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// One month of tasks on a Monday-first grid. The task service keeps the tasks of the shown weeks per
// day; every cell reads its day from there again whenever reloadToken changes.
FocusScope {
    id: root

    property int month: new Date().getMonth()
    property int year: new Date().getFullYear()
    property double selectedTime: Date.now()
    property date selectedDate: new Date(selectedTime)
    property string monthStartDate: ""
    property string monthEndDate: ""
    property int reloadToken: 0
    property bool loadingCalendarRange: false
    property string dialogDateKey: ""
    property var dialogTasks: []
    property var selectedCalendarTask: null
    readonly property var locale: Qt.locale(language.localeName)

    // Weekday of the 1st counted from Monday, the month's length and the weeks the grid needs.
    readonly property int monthOffset: (new Date(year, month, 1).getDay() + 6) % 7
    readonly property int daysInMonth: new Date(year, month + 1, 0).getDate()
    readonly property int weekCount: Math.ceil((monthOffset + daysInMonth) / 7)
    readonly property string selectedKey: dayKey(new Date(selectedTime))
    readonly property bool hasRangeQueries: typeof taskService !== "undefined" && taskService !== null
                                            && typeof taskService.loadTasksForRange === "function"
    readonly property bool hasSelectedTask: !!(selectedCalendarTask && selectedCalendarTask.id)
    readonly property string selectedDescription: {
        root.reloadToken
        return dayDescription(selectedKey, taskCountFor(selectedKey))
    }

    function dayKey(day) {
        return Qt.formatDate(day, "yyyy-MM-dd")
    }

    // The date of a grid cell; the date arithmetic rolls day numbers outside the month into its neighbours.
    function cellDate(index) {
        return new Date(year, month, index - monthOffset + 1)
    }

    // What a screen reader says of a day: "Tuesday 8 December, 3 tasks".
    function dayDescription(key, count) {
        const day = dayList.dayTitle(key)
        if (count === 0)
            return qsTr("%1, no tasks").arg(day)
        return count === 1 ? qsTr("%1, 1 task").arg(day) : qsTr("%1, %n tasks", "", count).arg(day)
    }

    function taskCountFor(key) {
        return hasRangeQueries ? taskService.taskCountForDate(key) : 0
    }

    function tasksFor(key) {
        return hasRangeQueries ? taskService.tasksForDate(key) : []
    }

    // A cell shows two tasks at most; the service keeps just those per day.
    function firstTasksFor(key) {
        return hasRangeQueries ? taskService.firstTasksForDate(key) : []
    }

    function loadRange() {
        monthStartDate = dayKey(cellDate(0))
        monthEndDate = dayKey(cellDate(weekCount * 7 - 1))
        if (monthStartDate === "" || monthEndDate === "" || !hasRangeQueries)
            return
        // The load ends with tasksChanged; the flag keeps that signal from starting another load.
        loadingCalendarRange = true
        taskService.loadTasksForRange(monthStartDate, monthEndDate)
        loadingCalendarRange = false
    }

    function showMonth(newYear, newMonth) {
        year = newYear
        month = newMonth
        loadRange()
    }

    function previousMonth() {
        if (month === 0)
            showMonth(year - 1, 11)
        else
            showMonth(year, month - 1)
    }

    function nextMonth() {
        if (month === 11)
            showMonth(year + 1, 0)
        else
            showMonth(year, month + 1)
    }

    function selectDay(day) {
        selectedTime = new Date(day.getFullYear(), day.getMonth(), day.getDate()).getTime()
        grid.forceActiveFocus()
    }

    function shiftSelection(days) {
        const current = new Date(selectedTime)
        const day = new Date(current.getFullYear(), current.getMonth(), current.getDate() + days)
        selectDay(day)
        if (day.getMonth() !== month || day.getFullYear() !== year)
            showMonth(day.getFullYear(), day.getMonth())
    }

    function createTaskOn(day) {
        forceOpenTask(0, dayKey(day) + " " + Qt.formatTime(new Date(), "HH:mm"))
    }

    function openDayList(key) {
        dialogDateKey = key
        dialogTasks = tasksFor(key)
        dayList.open()
    }

    function refreshDayList() {
        if (dayList.opened && dialogDateKey !== "")
            dialogTasks = tasksFor(dialogDateKey)
    }

    function openActions(task) {
        selectedCalendarTask = task
        actionMenu.open()
    }

    function toggleSelectedTask() {
        if (!hasSelectedTask)
            return
        // The listed state may be stale: toggle what is stored now.
        const task = taskService.taskById(selectedCalendarTask.id)
        if (task.taskId === undefined || !taskService.updateTaskDone(task.taskId, !task.active))
            undoService.report([qsTr("Could not change the task."), connectionKeeper.whyFailed()].join(" ").trim())
    }

    function deleteSelectedTask() {
        if (!hasSelectedTask)
            return
        const id = selectedCalendarTask.id
        selectedCalendarTask = null
        undoService.deleteTask(id)
    }

    focus: true

    Component.onCompleted: {
        selectDay(new Date())
        loadRange()
    }

    Connections {
        target: root.hasRangeQueries ? taskService : null

        function onTasksChanged() {
            if (!root.loadingCalendarRange)
                root.loadRange()
            root.refreshDayList()
            root.reloadToken++
        }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 3
        spacing: 8

        RowLayout {
            Layout.fillWidth: true

            ToolButton {
                objectName: "previousMonthButton"
                Accessible.name: qsTr("Previous month")
                text: "◀"
                onClicked: root.previousMonth()
            }

            Text {
                objectName: "monthTitle"
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                color: "white"
                font.pixelSize: 16
                font.bold: true
                text: root.locale.standaloneMonthName(root.month) + " " + root.year

                MouseArea {
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: monthChooser.open()
                }
            }

            // Says the selected day whenever the selection moves.
            Announcement {
                objectName: "selectionAnnouncement"
                text: root.selectedDescription
            }

            ToolButton {
                objectName: "nextMonthButton"
                Accessible.name: qsTr("Next month")
                text: "▶"
                onClicked: root.nextMonth()
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 4

            Repeater {
                objectName: "weekdayRow"
                model: [1, 2, 3, 4, 5, 6, 0].map(day => root.locale.standaloneDayName(day, Locale.ShortFormat))

                Text {
                    required property string modelData
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    horizontalAlignment: Text.AlignHCenter
                    color: "#d0d0d0"
                    text: modelData
                }
            }
        }

        GridLayout {
            id: grid
            objectName: "monthGrid"
            Layout.fillWidth: true
            Layout.fillHeight: true
            columns: 7
            rowSpacing: 4
            columnSpacing: 4
            focus: true
            // One key stop: the arrows move the selected day, Return lists its tasks, Ctrl+Return adds one.
            activeFocusOnTab: true
            Accessible.role: Accessible.Table
            Accessible.name: qsTr("Calendar")
            Accessible.description: root.selectedDescription

            Keys.onPressed: event => {
                const steps = {}
                steps[Qt.Key_Left] = -1
                steps[Qt.Key_Right] = 1
                steps[Qt.Key_Up] = -7
                steps[Qt.Key_Down] = 7
                if (steps[event.key] !== undefined) {
                    root.shiftSelection(steps[event.key])
                } else if (event.key === Qt.Key_Return || event.key === Qt.Key_Enter) {
                    if (event.modifiers & Qt.ControlModifier)
                        root.createTaskOn(root.selectedDate)
                    else
                        root.openDayList(root.selectedKey)
                } else {
                    return
                }
                event.accepted = true
            }

            Repeater {
                id: cells
                model: root.weekCount * 7

                Rectangle {
                    id: cell

                    required property int index
                    readonly property var day: root.cellDate(index)
                    readonly property string dateKey: root.dayKey(day)
                    readonly property bool inShownMonth: index - root.monthOffset + 1 >= 1
                                                         && index - root.monthOffset + 1 <= root.daysInMonth
                    // Read again whenever the service's tasks change.
                    readonly property int taskCount: {
                        root.reloadToken
                        return root.taskCountFor(dateKey)
                    }
                    readonly property bool selected: dateKey === root.selectedKey
                    readonly property var dayTasks: {
                        root.reloadToken
                        return root.firstTasksFor(dateKey)
                    }

                    objectName: "dayCell_" + dateKey
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    Layout.preferredWidth: 1
                    Layout.preferredHeight: 1
                    radius: 8
                    color: inShownMonth ? "#111214" : "#000000"
                    border.width: selected && grid.activeFocus ? 2 : 1
                    border.color: !selected ? "#3a3a3a" : grid.activeFocus ? "white" : "#721675"
                    Accessible.role: Accessible.Cell
                    Accessible.name: root.dayDescription(dateKey, taskCount)
                    Accessible.selected: selected

                    // Below the task bars and the badge: a tap on the rest of the cell creates a task.
                    MouseArea {
                        anchors.fill: parent
                        onClicked: root.createTaskOn(cell.day)
                    }

                    ColumnLayout {
                        anchors.fill: parent
                        anchors.margins: 8
                        spacing: 6

                        RowLayout {
                            spacing: 6

                            Text {
                                font.pixelSize: 14
                                color: cell.inShownMonth ? "white" : "#808080"
                                text: cell.day.getDate()
                                Accessible.ignored: true
                            }

                            Rectangle {
                                objectName: "countBadge"
                                visible: cell.taskCount > 2
                                radius: 10
                                implicitHeight: 20
                                implicitWidth: countText.implicitWidth + 10
                                color: "#721675"
                                Accessible.role: Accessible.Button
                                Accessible.name: qsTr("Show all tasks of this day")
                                Accessible.onPressAction: root.openDayList(cell.dateKey)

                                Text {
                                    id: countText
                                    anchors.centerIn: parent
                                    color: "white"
                                    font.bold: true
                                    font.pixelSize: 11
                                    text: cell.taskCount
                                    Accessible.ignored: true
                                }

                                MouseArea {
                                    anchors.fill: parent
                                    cursorShape: Qt.PointingHandCursor
                                    onClicked: root.openDayList(cell.dateKey)
                                }
                            }
                        }

                        // The task bars sit in their own column, closer together than the cell's rows.
                        ColumnLayout {
                            Layout.fillWidth: true
                            spacing: 4

                            Repeater {
                                model: cell.dayTasks.slice(0, 2)

                                Rectangle {
                                    id: taskBar
                                    required property var modelData
                                    objectName: "cellTask"
                                    Layout.fillWidth: true
                                    implicitHeight: 22
                                    radius: 4
                                    color: "#2d3138"
                                    border.width: 1
                                    border.color: taskBar.modelData.active ? "#721675" : "#424242"
                                    Accessible.role: Accessible.Button
                                    Accessible.name: dayList.taskSummary(taskBar.modelData)
                                    Accessible.onPressAction: forceOpenTask(taskBar.modelData.id)

                                    Text {
                                        anchors.fill: parent
                                        anchors.leftMargin: 6
                                        anchors.rightMargin: 6
                                        verticalAlignment: Text.AlignVCenter
                                        elide: Text.ElideRight
                                        color: "white"
                                        font.pixelSize: 12
                                        textFormat: Text.StyledText
                                        text: dayList.taskLabel(taskBar.modelData)
                                        Accessible.ignored: true
                                    }

                                    MouseArea {
                                        anchors.fill: parent
                                        acceptedButtons: Qt.LeftButton | Qt.RightButton
                                        cursorShape: Qt.PointingHandCursor
                                        onClicked: mouse => {
                                            if (mouse.button === Qt.RightButton)
                                                root.openActions(taskBar.modelData)
                                            else
                                                forceOpenTask(taskBar.modelData.id)
                                        }
                                    }
                                }
                            }
                        }

                        Item {
                            Layout.fillHeight: true
                        }
                    }
                }
            }
        }
    }

    TasksDialog {
        id: dayList
        objectName: "dayTaskList"
        dialogDateKey: root.dialogDateKey
        dialogTasks: root.dialogTasks
        onTaskOpenRequested: task => forceOpenTask(task.id)
        onTaskActionsRequested: task => root.openActions(task)
        onClosed: grid.forceActiveFocus()
    }

    Dialog {
        id: monthChooser
        objectName: "monthChooser"
        parent: Overlay.overlay
        anchors.centerIn: parent
        modal: true
        title: ""
        width: Math.min(root.width - 24, 360)
        standardButtons: Dialog.Ok | Dialog.Cancel
        footer: DialogButtons {}

        onAboutToShow: {
            monthBox.currentIndex = root.month
            yearBox.value = root.year
        }
        onAccepted: {
            // A year still being typed counts as well.
            const typed = yearBox.valueFromText(yearBox.contentItem.text, yearBox.locale)
            if (!isNaN(typed))
                yearBox.value = typed
            root.showMonth(yearBox.value, monthBox.currentIndex)
            grid.forceActiveFocus()
        }

        contentItem: RowLayout {
            spacing: 12

            NamedComboBox {
                id: monthBox
                objectName: "monthBox"
                Accessible.name: qsTr("Month")
                Layout.fillWidth: true
                model: Array.from({ length: 12 }, (_, month) => root.locale.standaloneMonthName(month))
            }

            SpinBox {
                id: yearBox
                objectName: "yearBox"
                Accessible.name: qsTr("Year")
                Layout.fillWidth: true
                editable: true
                from: 1900
                to: 2100
                // Years read without digit grouping.
                textFromValue: value => String(value)
                valueFromText: text => Number(text)
            }
        }
    }

    TaskActionMenu {
        id: actionMenu
        objectName: "calendarActionMenu"
        parent: Overlay.overlay
        hasTask: root.hasSelectedTask
        taskDone: root.hasSelectedTask && root.selectedCalendarTask.active
        onOpenRequested: forceOpenTask(root.selectedCalendarTask.id)
        onToggleRequested: root.toggleSelectedTask()
        onDeleteRequested: root.deleteSelectedTask()
    }
}
