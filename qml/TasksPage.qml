pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QuilloQml

import "TaskLevels.js" as TaskLevels

// The tasks tab: filters and actions, one sortable page of tasks, the pager with its counters.
Item {
    id: root

    required property StackView stackView
    property int selectedRow: -1
    property bool selectedTaskActive: false
    property int focusTaskId: -1
    // The selection belongs to this task, not to a row number (-1: none).
    property int selectedTaskId: -1
    property bool pageEmpty: taskModel.rowCountQml() === 0
    // Counts the reloads of the table, so that what is read out of a row follows its task.
    property int modelRevision: 0
    readonly property string selectedSummary: root.selectedRow >= 0 && root.modelRevision >= 0
                                              ? taskModel.summaryAt(root.selectedRow) : ""
    readonly property bool filtered: taskService.filterName !== "" || taskService.filterActive !== -1
                                     || taskService.filterLevel !== -1 || taskService.filterExpireFrom !== ""
                                     || taskService.filterExpireTo !== ""

    readonly property var pageSizes: [10, 25, 50, 100]

    function openTask(taskId, showCustomerButton = true) {
        taskDialog.openForEdit(taskId, showCustomerButton)
    }

    function openNewTask(expireDateTime = null) {
        taskDialog.openForCreate(expireDateTime)
    }

    function isTaskDialogOpen() {
        return taskDialog.visible
    }

    function selectTaskRow(row) {
        root.selectedRow = row
        root.selectedTaskActive = row >= 0 ? taskModel.activeAt(row) : false
    }

    function editSelectedTask() {
        if (root.selectedRow < 0)
            return
        taskDialog.openForEdit(taskModel.taskIdAt(root.selectedRow), true)
    }

    function deleteSelectedTask() {
        if (root.selectedRow < 0)
            return
        const id = taskModel.taskIdAt(root.selectedRow)
        if (id > 0)
            undoService.deleteTask(id)
        root.selectTaskRow(-1)
    }

    function setSelectedTaskDone() {
        if (root.selectedRow < 0)
            return
        const id = taskModel.taskIdAt(root.selectedRow)
        if (id <= 0)
            return
        const done = !root.selectedTaskActive
        if (taskService.updateTaskDone(id, done)) {
            root.selectedTaskActive = done
        } else {
            undoService.report([qsTr("Could not change the task."), connectionKeeper.whyFailed()].join(" ").trim())
            taskService.loadPage(taskService.currentPage) // the task is gone: show the table as it is now
        }
    }

    function clearFilters() {
        searchField.text = ""
        taskService.filterName = ""
        taskService.filterActive = -1
        taskService.filterLevel = -1
        taskService.filterExpireFrom = ""
        taskService.filterExpireTo = ""
    }

    // Index of the state/level combo box entry: All, Done, Pending, Low, Medium, High.
    function stateFilterIndex() {
        if (taskService.filterActive === 1)
            return 1
        if (taskService.filterActive === 0)
            return 2
        const level = [20, 50, 51].indexOf(taskService.filterLevel)
        return level < 0 ? 0 : level + 3
    }

    function applyStateFilter(index) {
        taskService.filterActive = -1
        taskService.filterLevel = -1
        if (index === 1 || index === 2)
            taskService.filterActive = index === 1 ? 1 : 0
        else if (index >= 3)
            taskService.filterLevel = [20, 50, 51][index - 3]
    }

    function logout() {
        auth.logout()
        root.stackView.replace(Qt.resolvedUrl("LoginPage.qml"), { stackView: root.stackView })
    }

    Component.onCompleted: {
        taskService.loadPage(1)
        if (root.focusTaskId > 0)
            focusTimer.start()
    }

    onSelectedRowChanged: root.selectedTaskId = taskModel.taskIdAt(root.selectedRow)
    // Whenever the table is read again (another page, a sort, a change made here or elsewhere) the
    // highlight stays with its task while it is shown and goes when it is not, so that a key or an
    // action never reaches another task than the one the user chose.
    Connections {
        target: taskModel

        function onModelReset() {
            root.modelRevision++
            root.pageEmpty = taskModel.rowCountQml() === 0
            root.selectTaskRow(taskModel.rowForId(root.selectedTaskId))
        }

        function onDataChanged() {
            root.modelRevision++
            root.selectTaskRow(taskModel.rowForId(root.selectedTaskId))
        }
    }

    Timer {
        id: focusTimer
        interval: 200
        onTriggered: root.openTask(root.focusTaskId)
    }

    Shortcut {
        sequences: ["Ctrl+L"]
        enabled: !taskDialog.visible
        onActivated: root.logout()
    }

    GlobalShortcut {
        condition: !taskDialog.visible && !expirePicker.visible && !taskActionDialog.visible
                   && !confirmDeleteDialog.visible
        tService: taskService
        tModel: taskModel
        tableView: table
        searchField: searchField
        currentRow: root.selectedRow
        onSelectedRowRequested: row => root.selectTaskRow(row)
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 12
        spacing: 10

        RowLayout {
            Layout.fillWidth: true

            TextField {
                id: searchField
                objectName: "taskSearchField"
                Accessible.name: placeholderText
                placeholderText: qsTr("Search by task id/name or customer name...")
                maximumLength: InputLimits.searchLength
                Layout.preferredWidth: 400
                Layout.minimumWidth: 160
                Layout.fillWidth: true
                Layout.maximumWidth: 400
                Component.onCompleted: text = taskService.filterName
                onTextChanged: taskService.filterName = text
            }
            NamedComboBox {
                objectName: "stateFilterBox"
                Accessible.name: qsTr("Show tasks")
                model: [qsTr("All"), qsTr("Done"), qsTr("Pending"), qsTr("Low"), qsTr("Medium"), qsTr("High")]
                currentIndex: root.stateFilterIndex()
                onActivated: index => root.applyStateFilter(index)
            }
            TextField {
                id: expireFromField
                objectName: "expireFromField"
                Accessible.name: placeholderText
                function commit(value) { taskService.filterExpireFrom = value }
                placeholderText: qsTr("Expire from")
                readOnly: true
                activeFocusOnPress: false // a tap opens a picker, which takes the keys
                text: taskService.filterExpireFrom
                Layout.preferredWidth: 140
                Accessible.description: qsTr("Space picks the date")
                TapHandler { onTapped: expirePicker.openFor(expireFromField) }
                Keys.onSpacePressed: expirePicker.openFor(expireFromField)
            }
            TextField {
                id: expireToField
                objectName: "expireToField"
                Accessible.name: placeholderText
                function commit(value) { taskService.filterExpireTo = value }
                placeholderText: qsTr("Expire to")
                readOnly: true
                activeFocusOnPress: false // a tap opens a picker, which takes the keys
                text: taskService.filterExpireTo
                Layout.preferredWidth: 140
                Accessible.description: qsTr("Space picks the date")
                TapHandler { onTapped: expirePicker.openFor(expireToField) }
                Keys.onSpacePressed: expirePicker.openFor(expireToField)
            }
            Button {
                objectName: "clearButton"
                text: qsTr("Clear")
                onClicked: root.clearFilters()
            }
            Label {
                text: "   "
            }
            Button {
                objectName: "newButton"
                text: qsTr("New")
                onClicked: root.openNewTask()
            }
            Button {
                objectName: "editButton"
                text: qsTr("Edit")
                enabled: root.selectedRow >= 0
                onClicked: root.editSelectedTask()
            }
            Button {
                objectName: "deleteButton"
                text: qsTr("Delete")
                enabled: root.selectedRow >= 0
                onClicked: root.deleteSelectedTask()
            }
            Button {
                objectName: "deleteDoneButton"
                text: qsTr("Delete Done")
                onClicked: confirmDeleteDialog.open()
            }
            Item {
                Layout.fillWidth: true
            }
        }

        ColumnLayout {
            spacing: 0
            Layout.fillWidth: true
            Layout.fillHeight: true

            HorizontalHeaderView {
                id: header
                objectName: "header"
                // The cells' height: the layout does not follow the view's own once its cells are loaded.
                Layout.preferredHeight: 40
                syncView: table
                model: taskModel.pageRows
                clip: true
                Layout.fillWidth: true

                delegate: SortHeaderCell {
                    service: taskService
                }
            }

            // Says which task is selected whenever the selection moves.
            Announcement {
                objectName: "selectionAnnouncement"
                text: root.selectedSummary
            }

            // Over the table rather than above it: a table that changes its height while its rows load
            // keeps them where they were, below a blank band.
            Label {
                objectName: "noMatchLabel"
                parent: table
                width: table.width
                visible: root.pageEmpty && root.filtered
                topPadding: 40
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                color: "white"
                text: qsTr("No tasks match") + "\n" + qsTr("The counts below are of all your tasks; Clear shows them all again.")
            }

            TableView {
                id: table
                objectName: "taskTable"
                // A reload changes the cells shown rather than building them again.
                model: taskModel.pageRows
                clip: true
                columnSpacing: 1
                rowSpacing: 1
                boundsBehavior: Flickable.StopAtBounds
                Layout.fillWidth: true
                Layout.fillHeight: true
                // One key stop; Up and Down move the selection, which is read out.
                activeFocusOnTab: true
                Accessible.role: Accessible.Table
                Accessible.name: qsTr("Tasks")
                Accessible.description: root.selectedSummary

                // The id column holds seven digits.
                columnWidthProvider: column => [80, Math.max(250, table.width - 590), 60, 60, 240, 140][column]
                rowHeightProvider: () => 36
                onWidthChanged: forceLayout()

                ScrollBar.vertical: ScrollBar {}
                ScrollBar.horizontal: ScrollBar {}

                delegate: Rectangle {
                    id: cell
                    required property int row
                    required property int column
                    required property var display
                    required property bool overdue
                    required property string summary
                    // Grey once the minute of the expiry has begun; the greys keep 4.5:1 on the row's
                    // background.
                    readonly property color textColor: !cell.overdue ? "white"
                                                       : cell.row === root.selectedRow ? "#c0c0c0" : "#8f8f8f"

                    color: cell.row === root.selectedRow ? "#721675" : cell.row % 2 === 0 ? "#1b1b1b" : "#161616"
                    border.color: cell.row === root.selectedRow && table.activeFocus ? "white" : "#2a2a2a"
                    border.width: 1
                    // The first cell stands for its row, read as one sentence; the others stay out of the tree.
                    Accessible.role: cell.column === 0 ? Accessible.Row : Accessible.NoRole
                    Accessible.ignored: cell.column !== 0
                    Accessible.name: cell.summary
                    Accessible.selected: cell.row === root.selectedRow

                    Rectangle {
                        visible: cell.column === 2
                        x: 10
                        anchors.verticalCenter: parent.verticalCenter
                        width: 10
                        height: 10
                        color: cell.column === 2 ? TaskLevels.color(cell.display) : "transparent"
                    }
                    Rectangle {
                        objectName: "doneMark"
                        visible: cell.column === 3
                        anchors.centerIn: parent
                        width: 16
                        height: 16
                        radius: 8
                        border.color: "#bbbbbb"
                        border.width: 1
                        color: cell.column === 3 && cell.display === true ? "#8bc34a" : cell.color
                    }
                    Text {
                        visible: cell.column !== 3
                        anchors.fill: parent
                        anchors.leftMargin: cell.column === 2 ? 28 : 10
                        anchors.rightMargin: 10
                        verticalAlignment: Text.AlignVCenter
                        elide: Text.ElideRight
                        text: cell.display ?? ""
                        color: cell.textColor
                        Accessible.ignored: true
                    }

                    MouseArea {
                        anchors.fill: parent
                        acceptedButtons: Qt.LeftButton | Qt.RightButton
                        enabled: !taskDialog.visible && !expirePicker.visible
                        onClicked: mouse => {
                            root.selectTaskRow(cell.row)
                            if (mouse.button === Qt.RightButton)
                                taskActionDialog.open()
                        }
                        onDoubleClicked: mouse => {
                            if (mouse.button !== Qt.LeftButton)
                                return
                            root.selectTaskRow(cell.row)
                            root.editSelectedTask()
                        }
                    }
                }
            }
        }

        RowLayout {
            spacing: 10
            Layout.fillWidth: true

            Button {
                objectName: "prevButton"
                text: qsTr("Prev")
                enabled: taskService.currentPage > 1
                onClicked: taskService.loadPage(taskService.currentPage - 1)
            }
            Label {
                objectName: "pageLabel"
                text: qsTr("Page ") + taskService.currentPage + " / " + taskService.totalPages
                      + (taskService.countCapped ? "+" : "")
                color: "white"
            }
            Button {
                objectName: "nextButton"
                text: qsTr("Next")
                enabled: taskService.currentPage < taskService.totalPages
                onClicked: taskService.loadPage(taskService.currentPage + 1)
            }
            Row {
                spacing: 12
                Repeater {
                    model: [
                        { text: qsTr("Low: ") + taskService.lowLevelCount, color: TaskLevels.low },
                        { text: qsTr("Medium: ") + taskService.midLevelCount, color: TaskLevels.medium },
                        { text: qsTr("High: ") + taskService.highLevelCount, color: TaskLevels.high },
                        { text: qsTr("Done: ") + taskService.activeCount, color: "#8bc34a" },
                        { text: qsTr("Pending: ") + taskService.inactiveCount, color: "#f44336" },
                        { text: qsTr("Total: ") + taskService.totalCount, color: "#bbbbbb" }
                    ]
                    delegate: Label {
                        required property var modelData
                        text: modelData.text
                        color: modelData.color
                        font.pixelSize: 14
                    }
                }
            }
            Item {
                Layout.fillWidth: true
            }
            NamedComboBox {
                objectName: "pageSizeBox"
                Accessible.name: qsTr("Tasks per page")
                model: root.pageSizes
                // A size set elsewhere that the box does not offer shows as 25.
                currentIndex: root.pageSizes.includes(taskService.pageSize) ? root.pageSizes.indexOf(taskService.pageSize) : 1
                onActivated: index => {
                    taskService.pageSize = root.pageSizes[index]
                    taskService.loadPage(1)
                }
            }
        }
    }

    TaskDialog {
        id: taskDialog
        objectName: "taskDialog"
        onClosed: root.selectTaskRow(-1)
    }

    Dialog {
        id: confirmDeleteDialog
        objectName: "confirmDeleteDialog"
        title: qsTr("Confirm deletion")
        modal: true
        anchors.centerIn: parent
        property int doneCount: 0

        standardButtons: Dialog.Yes | Dialog.No

        footer: DialogButtons {}
        onAboutToShow: doneCount = taskService.doneTaskCount()
        onAccepted: taskService.deleteAllInactive()

        Label {
            objectName: "confirmDeleteText"
            text: (confirmDeleteDialog.doneCount === 1
                   ? qsTr("Delete ALL tasks Done? 1 task will be deleted.")
                   : qsTr("Delete ALL tasks Done? %n tasks will be deleted.", "", confirmDeleteDialog.doneCount))
                  + "\n" + qsTr("This action cannot be undone.")
            color: "white"
            padding: 10
        }
    }

    // Deleting many done tasks takes a while: the page waits behind its progress.
    Popup {
        objectName: "deleteDoneProgress"
        modal: true
        closePolicy: Popup.NoAutoClose
        anchors.centerIn: parent
        visible: taskService.deletingDone

        ColumnLayout {
            spacing: 10

            Label {
                text: qsTr("Deleting done tasks…")
                color: "white"
            }

            ProgressBar {
                Layout.preferredWidth: 320
                value: taskService.deleteProgress
            }
        }
    }

    TaskActionMenu {
        id: taskActionDialog
        objectName: "taskActionDialog"
        hasTask: root.selectedRow >= 0
        taskDone: root.selectedTaskActive
        openButton.objectName: "actionOpenButton"
        toggleButton.objectName: "actionDoneButton"
        deleteButton.objectName: "actionDeleteButton"
        onOpenRequested: root.editSelectedTask()
        onToggleRequested: root.setSelectedTaskDone()
        onDeleteRequested: root.deleteSelectedTask()
    }

    ExpiryPicker {
        id: expirePicker
        objectName: "expirePicker"
        width: Math.min(root.width - 24, 460)
        onConfirmed: (picked, text) => expirePicker.opener.commit(text)
    }
}
