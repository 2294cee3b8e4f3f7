pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtCharts

// Tasks due and done per day over an expiry range, from the task service's statistics.
Rectangle {
    id: root

    property string expireFromText: ""
    property string expireToText: ""
    property int chartMax: axisMaximum(taskService.dailyTotals)
    property string dialogDateKey: ""
    property var selectedChartTask: null
    property bool barHovered: false
    // The same numbers as a table, for screen readers and the keyboard.
    property bool showTable: false
    readonly property bool hasSelectedTask: !!(selectedChartTask && selectedChartTask.id)

    // The largest numeric value plus a tenth of it (at least 1) of headroom; 5 for no positive value.
    function axisMaximum(values) {
        let largest = 0
        for (let i = 0; i < values.length; ++i) {
            const value = typeof values[i] === "number" ? values[i] : parseFloat(values[i])
            if (!isNaN(value) && value > largest)
                largest = value
        }
        return largest > 0 ? largest + Math.max(1, Math.ceil(largest / 10)) : 5
    }

    function applyRange() {
        taskService.loadStatistics(expireFromText, expireToText)
    }

    function clearRange() {
        expireFromText = ""
        expireToText = ""
        taskService.loadStatistics()
    }

    function openDayList(index) {
        const labels = taskService.dailyLabels
        if (index < 0 || index >= labels.length || String(labels[index]).trim() === "")
            return
        dialogDateKey = labels[index]
        dayList.dialogTasks = taskService.tasksForDate(dialogDateKey)
        dayList.open()
    }

    // "Tuesday 8 December: 5 tasks, 2 done"
    function daySummary(index) {
        const day = dayList.dayTitle(taskService.dailyLabels[index])
        const total = Number(taskService.dailyTotals[index])
        const done = Number(taskService.dailyCompleted[index])
        return total === 1 ? qsTr("%1: 1 task, %2 done").arg(day).arg(done)
                           : qsTr("%1: %n tasks, %2 done", "", total).arg(day).arg(done)
    }

    function refreshDayList() {
        if (dayList.opened && dialogDateKey !== "")
            dayList.dialogTasks = taskService.tasksForDate(dialogDateKey)
    }

    function openActions(task) {
        selectedChartTask = task
        actionMenu.open()
    }

    function toggleSelectedTask() {
        if (!hasSelectedTask)
            return
        // The listed state may be stale: toggle what is stored now.
        const task = taskService.taskById(selectedChartTask.id)
        if (task.taskId === undefined || !taskService.updateTaskDone(task.taskId, !task.active))
            undoService.report([qsTr("Could not change the task."), connectionKeeper.whyFailed()].join(" ").trim())
    }

    function deleteSelectedTask() {
        if (!hasSelectedTask)
            return
        const id = selectedChartTask.id
        selectedChartTask = null
        undoService.deleteTask(id)
    }

    // An empty or unreadable field starts at the edge of today that it bounds.
    function openPicker(field, mode) {
        const today = new Date()
        expirePicker.mode = mode
        expirePicker.openFor(field, mode === "from"
                             ? new Date(today.getFullYear(), today.getMonth(), today.getDate(), 0, 0)
                             : new Date(today.getFullYear(), today.getMonth(), today.getDate(), 23, 59))
    }

    // A cell of the day table; the rows are read whole, so their cells stay out of the tree.
    component TableCell: Text {
        width: 100
        height: 32
        verticalAlignment: Text.AlignVCenter
        leftPadding: 8
        color: "white"
        Accessible.ignored: true
    }

    color: "#000000"

    Component.onCompleted: {
        expireFromText = taskService.statsExpireFrom()
        expireToText = taskService.statsExpireTo()
        if (visible)
            applyRange()
    }
    onVisibleChanged: {
        if (visible)
            applyRange()
    }

    Connections {
        target: taskService

        function onTasksChanged() {
            root.applyRange()
            root.refreshDayList()
        }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 12
        spacing: 10

        RowLayout {
            spacing: 12

            TextField {
                id: fromField
                objectName: "expireFromField"
                Accessible.name: placeholderText
                Layout.preferredWidth: 170
                readOnly: true
                placeholderText: qsTr("Expire from")
                text: root.expireFromText
                Accessible.description: qsTr("Space picks the date")

                TapHandler {
                    onTapped: root.openPicker(fromField, "from")
                }
                Keys.onSpacePressed: root.openPicker(fromField, "from")
            }

            TextField {
                id: toField
                objectName: "expireToField"
                Accessible.name: placeholderText
                Layout.preferredWidth: 170
                readOnly: true
                placeholderText: qsTr("Expire to")
                text: root.expireToText
                Accessible.description: qsTr("Space picks the date")

                TapHandler {
                    onTapped: root.openPicker(toField, "to")
                }
                Keys.onSpacePressed: root.openPicker(toField, "to")
            }

            Button {
                objectName: "filterButton"
                text: qsTr("Filter")
                onClicked: root.applyRange()
            }

            Button {
                objectName: "clearButton"
                text: qsTr("Clear")
                onClicked: root.clearRange()
            }

            Button {
                objectName: "tableButton"
                text: root.showTable ? qsTr("Show as chart") : qsTr("Show as table")
                onClicked: root.showTable = !root.showTable
            }

            Item {
                Layout.fillWidth: true
            }
        }

        ChartView {
            id: chart
            objectName: "taskChart"
            Layout.fillWidth: true
            Layout.fillHeight: true
            visible: !root.showTable
            theme: ChartView.ChartThemeDark
            antialiasing: true
            animationOptions: ChartView.NoAnimation
            legend.labelColor: "white"
            // Days per label: each whole label, slanted, needs about this many pixels.
            readonly property int labelStep: Math.max(1, Math.ceil(taskService.dailyLabels.length * 64
                                                                   / Math.max(1, chart.plotArea.width)))
            margins.bottom: labelStep > 1 ? 80 : 20

            // The theme decorates the chart and its series as they are completed; the page's colours go on top.
            Component.onCompleted: {
                backgroundColor = "#000000"
                plotAreaColor = "#000000"
                totalSet.borderColor = "#000000"
                doneSet.borderColor = "#000000"
            }

            BarSeries {
                id: series
                objectName: "barSeries"

                axisX: BarCategoryAxis {
                    categories: taskService.dailyLabels
                    // Too many days for a label each: the chart's own ones would all be cut to "2…",
                    // so every few days get a whole label of the page's instead (below).
                    labelsVisible: chart.labelStep === 1
                    labelsAngle: -45
                    labelsFont.pixelSize: 12
                    color: "#000000"
                    gridLineColor: "#000000"
                    minorGridLineColor: "#000000"
                }
                axisY: ValueAxis {
                    min: 0
                    max: root.chartMax
                    // Whole-number ticks: the values are task counts.
                    tickType: ValueAxis.TicksDynamic
                    tickAnchor: 0
                    tickInterval: Math.max(1, Math.ceil(root.chartMax / 10))
                    labelFormat: "%d"
                    labelsFont.pixelSize: 12
                    color: "#000000"
                    gridLineColor: "#000000"
                    minorGridLineColor: "#000000"
                }

                BarSet {
                    id: totalSet
                    label: qsTr("Total")
                    values: taskService.dailyTotals
                    color: "#66ffffff"
                }
                BarSet {
                    id: doneSet
                    label: qsTr("Done")
                    values: taskService.dailyCompleted
                    color: "#a52aa8"
                }

                onClicked: (index, barset) => root.openDayList(index)
                onHovered: (status, index, barset) => root.barHovered = status
            }

            HoverHandler {
                cursorShape: root.barHovered ? Qt.PointingHandCursor : Qt.ArrowCursor
            }

            Repeater {
                objectName: "dayLabels"
                model: chart.labelStep > 1 ? Math.ceil(taskService.dailyLabels.length / chart.labelStep) : 0

                delegate: Text {
                    required property int index
                    readonly property int day: index * chart.labelStep
                    readonly property real slot: chart.plotArea.width / taskService.dailyLabels.length

                    objectName: "dayLabel"
                    text: taskService.dailyLabels[day] ?? ""
                    color: "white"
                    font.pixelSize: 12
                    rotation: -45
                    transformOrigin: Item.TopRight
                    x: chart.plotArea.x + (day + 0.5) * slot - width
                    y: chart.plotArea.y + chart.plotArea.height + 8
                }
            }
        }

        // The table's column heads.
        Row {
            visible: root.showTable

            TableCell {
                width: dayTable.width - 200
                text: qsTr("Day")
                Accessible.ignored: false
            }
            TableCell {
                text: qsTr("Total")
                Accessible.ignored: false
            }
            TableCell {
                text: qsTr("Done")
                Accessible.ignored: false
            }
        }

        ListView {
            id: dayTable
            objectName: "dayTable"
            Layout.fillWidth: true
            Layout.fillHeight: true
            visible: root.showTable
            clip: true
            activeFocusOnTab: true
            keyNavigationEnabled: true
            model: taskService.dailyLabels.length
            Accessible.role: Accessible.Table
            Accessible.name: qsTr("Tasks per day")
            ScrollBar.vertical: ScrollBar {}

            Keys.onReturnPressed: root.openDayList(currentIndex)
            Keys.onEnterPressed: root.openDayList(currentIndex)

            delegate: Rectangle {
                id: tableRow
                required property int index
                readonly property string dateKey: taskService.dailyLabels[index] ?? ""

                objectName: "dayRow"
                width: ListView.view.width
                height: 32
                color: ListView.isCurrentItem ? "#2d3138" : index % 2 === 0 ? "#1b1b1b" : "#161616"
                border.width: ListView.isCurrentItem && dayTable.activeFocus ? 2 : 0
                border.color: "white"
                Accessible.role: Accessible.Row
                Accessible.name: root.daySummary(index)
                Accessible.selected: ListView.isCurrentItem
                Accessible.onPressAction: root.openDayList(index)

                Row {
                    anchors.fill: parent

                    TableCell {
                        width: tableRow.width - 200
                        text: (dayList.weekdayOf(tableRow.dateKey) + " " + tableRow.dateKey).trim()
                    }
                    TableCell {
                        text: taskService.dailyTotals[tableRow.index] ?? ""
                    }
                    TableCell {
                        text: taskService.dailyCompleted[tableRow.index] ?? ""
                    }
                }

                TapHandler {
                    onTapped: {
                        dayTable.currentIndex = tableRow.index
                        root.openDayList(tableRow.index)
                    }
                }
            }
        }
    }

    TasksDialog {
        id: dayList
        objectName: "dayTaskList"
        dialogDateKey: root.dialogDateKey
        onTaskOpenRequested: task => forceOpenTask(task.id)
        onTaskActionsRequested: task => root.openActions(task)
        // Only the table opens the list while it is shown.
        onClosed: if (root.showTable) dayTable.forceActiveFocus()
    }

    TaskActionMenu {
        id: actionMenu
        objectName: "chartActionMenu"
        parent: Overlay.overlay
        hasTask: root.hasSelectedTask
        taskDone: root.hasSelectedTask && root.selectedChartTask.active
        onOpenRequested: forceOpenTask(root.selectedChartTask.id)
        onToggleRequested: root.toggleSelectedTask()
        onDeleteRequested: root.deleteSelectedTask()
    }

    // The expiry picker for the two range fields.
    ExpiryPicker {
        id: expirePicker
        objectName: "expirePicker"

        property string mode: "from"

        width: Math.min(root.width - 24, 460)
        keysEnabled: false
        onConfirmed: (picked, text) => {
            if (expirePicker.mode === "from")
                root.expireFromText = text
            else
                root.expireToText = text
        }
    }
}
