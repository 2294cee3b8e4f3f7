import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtTest
import QuilloQml

Item {
    id: root
    width: 1300
    height: 700

    StackView {
        id: stack
        visible: false
    }

    // The page as the home page holds it: one tab of several.
    StackLayout {
        id: tabs
        anchors.fill: parent

        TasksPage {
            id: page
            stackView: stack
        }
        Item {}
    }

    Component {
        id: pageComponent
        TasksPage {
            anchors.fill: parent
            stackView: stack
        }
    }

    TestCase {
        id: testCase
        name: "TasksPage"
        when: windowShown

        readonly property date past: new Date(Date.now() - 3600 * 1000)
        readonly property date future: new Date(Date.now() + 48 * 3600 * 1000)

        function initTestCase() {
            verify(testSupport.signIn("alice") > 0)
        }

        function init() {
            verify(testSupport.exec("DELETE FROM tasks"))
            taskService.filterName = ""
            taskService.filterActive = -1
            taskService.filterLevel = -1
            taskService.pageSize = 25
            taskService.sort(0, Qt.AscendingOrder)
            tabs.currentIndex = 0
            page.selectTaskRow(-1)
            root.forceActiveFocus()
        }

        function cleanup() {
            for (const name of ["taskDialog", "expirePicker", "taskActionDialog", "confirmDeleteDialog"])
                part(name).close()
            tryVerify(() => !part("taskDialog").visible && !part("expirePicker").visible
                      && !part("taskActionDialog").visible && !part("confirmDeleteDialog").visible)
        }

        function part(name) {
            const item = findChild(page, name)
            verify(item, name)
            return item
        }

        // Tasks "T1".. in id order, each given as [level, done, expiry].
        function addTasks(specs) {
            for (let i = 0; i < specs.length; ++i) {
                const [level, done, expiry] = specs[i]
                verify(taskService.createTask("T" + (i + 1), expiry === null ? "" : expiry, done, level))
            }
            taskService.loadPage(1)
            table().forceLayout()
        }

        function table() {
            return part("taskTable")
        }

        function cell(column, row) {
            table().forceLayout()
            const item = table().itemAtCell(Qt.point(column, row))
            verify(item, "cell " + column + "," + row)
            return item
        }

        function headerCell(column) {
            const header = part("header")
            header.forceLayout()
            return header.itemAtCell(Qt.point(column, 0))
        }

        function test_headerClicksSort() {
            addTasks([[30, false, future], [10, false, future], [60, false, future]])
            const steps = [[2, 2, Qt.AscendingOrder, [10, 30, 60]], [2, 2, Qt.DescendingOrder, [60, 30, 10]],
                           [2, 2, Qt.AscendingOrder, [10, 30, 60]], [0, 0, Qt.AscendingOrder, [30, 10, 60]]]
            for (const [clicked, column, order, levels] of steps) {
                mouseClick(headerCell(clicked))
                compare([taskService.sortColumn, taskService.sortOrder], [column, order])
                compare([0, 1, 2].map(row => taskModel.levelAt(row)), levels)
            }
            mouseClick(headerCell(0))
            compare(taskService.sortOrder, Qt.DescendingOrder)
            const arrows = cell => Array.from(cell.children[0].children).filter(t => t.visible).map(t => t.text)
            compare(arrows(headerCell(0)), ["ID", "▼"])
            compare(arrows(headerCell(1)), ["Name"])
            compare(String(headerCell(0).color), "#666666")
            compare(String(headerCell(1).color), "#444444")
        }

        function test_stateFilterBox_data() {
            return [
                { tag: "All", index: 0, active: -1, level: -1 },
                { tag: "Done", index: 1, active: 1, level: -1 },
                { tag: "Pending", index: 2, active: 0, level: -1 },
                { tag: "Low", index: 3, active: -1, level: 20 },
                { tag: "Medium", index: 4, active: -1, level: 50 },
                { tag: "High", index: 5, active: -1, level: 51 }
            ]
        }

        function test_stateFilterBox(data) {
            const box = part("stateFilterBox")
            taskService.filterActive = 1 // choosing any entry first clears the other kind of filter
            taskService.filterLevel = 51
            box.activated(data.index)
            compare([taskService.filterActive, taskService.filterLevel], [data.active, data.level])
            compare(box.currentIndex, data.index)

            taskService.filterActive = -1
            taskService.filterLevel = -1
            compare(box.currentIndex, 0)
            taskService.filterActive = data.active
            taskService.filterLevel = data.level
            compare(box.currentIndex, data.index, "the box follows the service")
        }

        function test_pageSizeBox() {
            const box = part("pageSizeBox")
            addTasks(Array(12).fill([1, false, future]))
            taskService.pageSize = 7
            compare(box.displayText, "25", "a size the box does not offer shows as 25")
            compare(taskService.pageSize, 7)
            taskService.loadPage(2)
            box.activated(0)
            compare(taskService.pageSize, 10)
            compare(taskService.currentPage, 1)
            compare(box.displayText, "10")
            compare(part("pageLabel").text, "Page 1 / 2")
            verify(!part("prevButton").enabled)
            verify(part("nextButton").enabled)
            mouseClick(part("nextButton"))
            compare(part("pageLabel").text, "Page 2 / 2")
            verify(part("prevButton").enabled)
            verify(!part("nextButton").enabled)
        }

        function test_deleteDoneAsksFirst() {
            addTasks([[1, true, future], [1, false, future], [1, true, past]])
            const dialog = part("confirmDeleteDialog")
            mouseClick(part("deleteDoneButton"))
            tryVerify(() => dialog.opened)
            compare(taskService.totalCount, 3)
            dialog.reject()
            tryVerify(() => !dialog.visible)
            compare(taskService.totalCount, 3)
            mouseClick(part("deleteDoneButton"))
            tryVerify(() => dialog.opened)
            dialog.accept()
            compare(taskService.totalCount, 1)
            compare(taskService.activeCount, 0)
        }

        function test_rowColours() {
            addTasks([[10, false, past], [40, true, future], [70, false, null]])
            for (let column = 0; column < 6; ++column) {
                compare(String(cell(column, 0).textColor), "#808080", "overdue row, column " + column)
                compare(String(cell(column, 1).textColor), "#ffffff", "future row, column " + column)
                compare(String(cell(column, 2).textColor), "#ffffff", "row without expiry, column " + column)
            }
            const square = row => cell(2, row).children[0]
            compare([0, 1, 2].map(row => String(square(row).color)), ["#ffffff", "#4da6ff", "#b266ff"])
            const mark = row => findChild(cell(3, row), "doneMark")
            compare(String(mark(1).color), "#8bc34a")
            compare(String(mark(0).color), String(cell(3, 0).color))

            // A reload that makes the same row overdue repaints it.
            verify(taskService.updateTask(taskModel.taskIdAt(1), "T2", true, past.toISOString(), 40))
            compare(String(cell(1, 1).textColor), "#808080")
        }

        function test_selectionAndActionMenu() {
            addTasks([[1, false, future], [1, false, future], [1, false, future]])
            const menu = part("taskActionDialog")
            mouseClick(cell(1, 1), 20, 10, Qt.RightButton)
            compare(page.selectedRow, 1)
            tryVerify(() => menu.opened)
            compare(part("actionDoneButton").text, "Set Done")
            mouseClick(part("actionDoneButton"))
            tryVerify(() => !menu.visible)
            verify(taskModel.activeAt(1))
            verify(page.selectedTaskActive)
            compare(page.selectedRow, 1)

            mouseClick(cell(4, 2), 20, 10, Qt.RightButton)
            tryVerify(() => menu.opened)
            const id = taskModel.taskIdAt(2)
            mouseClick(part("actionDeleteButton"))
            tryVerify(() => !menu.visible)
            compare(taskModel.rowForId(id), -1, "deleted without a question")
            compare(page.selectedRow, -1)
            verify(!part("editButton").enabled)
            verify(!part("deleteButton").enabled)
        }

        function test_doubleClickOpensTheTask() {
            addTasks([[1, false, future], [5, false, future]])
            const dialog = part("taskDialog")
            mouseDoubleClickSequence(cell(1, 1))
            tryVerify(() => dialog.opened)
            compare(dialog.editingId, taskModel.taskIdAt(1))
            mouseClick(cell(1, 0)) // the modal dialog keeps clicks from the table
            compare(page.selectedRow, 1)
            dialog.close()
            tryVerify(() => !dialog.visible)
            compare(page.selectedRow, -1, "closing the dialog clears the selection")
        }

        function test_keyboardDeleteAndEdit() {
            addTasks([[1, false, future], [2, false, future]])
            keyClick(Qt.Key_Down)
            keyClick(Qt.Key_Down)
            compare(page.selectedRow, 1)
            keyClick(Qt.Key_Delete)
            compare(taskService.totalCount, 1)
            compare(page.selectedRow, -1)
            keyClick(Qt.Key_Down)
            keyClick(Qt.Key_E, Qt.ControlModifier)
            tryVerify(() => part("taskDialog").opened)
            compare(part("taskDialog").editingId, taskModel.taskIdAt(0))
        }

        function test_shortcutsDead_data() {
            return [
                { tag: "task dialog open", open: () => page.openNewTask() },
                { tag: "expiry picker open", open: () => part("expirePicker").openFor(part("expireFromField")) },
                { tag: "action menu open", open: () => part("taskActionDialog").open() },
                { tag: "another tab shown", open: () => { tabs.currentIndex = 1 } }
            ]
        }

        function test_shortcutsDead(data) {
            addTasks(Array(4).fill([1, false, future]))
            taskService.pageSize = 2
            taskService.loadPage(1)
            page.selectTaskRow(0)
            data.open()
            wait(0)
            const keys = [[Qt.Key_Down], [Qt.Key_End], [Qt.Key_Delete], [Qt.Key_N, Qt.ControlModifier],
                          [Qt.Key_E, Qt.ControlModifier]]
            for (const [key, modifiers] of keys)
                keyClick(key, modifiers ?? Qt.NoModifier)
            compare(page.selectedRow, 0)
            compare(taskService.currentPage, 1)
            compare(taskService.totalCount, 4)
            if (tabs.currentIndex === 1)
                verify(!part("taskDialog").visible)
        }

        function test_clearFilters() {
            const search = part("taskSearchField")
            search.text = "  abc "
            compare(taskService.filterName, "abc")
            taskService.filterActive = 0
            taskService.filterExpireFrom = "2026-01-01 00:00"
            taskService.filterExpireTo = "2026-02-01 00:00"
            mouseClick(part("clearButton"))
            compare(search.text, "")
            compare([taskService.filterName, taskService.filterExpireFrom, taskService.filterExpireTo], ["", "", ""])
            compare([taskService.filterActive, taskService.filterLevel], [-1, -1])
            compare(part("stateFilterBox").currentIndex, 0)
            compare(part("expireFromField").text, "")
        }

        function test_focusTaskIdOpensTheTask() {
            addTasks([[7, false, future]])
            const id = taskModel.taskIdAt(0)
            const other = createTemporaryObject(pageComponent, root, { focusTaskId: id })
            const dialog = findChild(other, "taskDialog")
            verify(!dialog.visible)
            tryVerify(() => dialog.opened)
            compare(dialog.editingId, id)
            dialog.close()
            tryVerify(() => !dialog.visible)
        }

        function test_ctrlLSignsOut() {
            page.openNewTask()
            tryVerify(() => part("taskDialog").opened)
            keyClick(Qt.Key_L, Qt.ControlModifier)
            verify(auth.loggedIn, "no sign-out while the task dialog is open")
            part("taskDialog").close()
            tryVerify(() => !part("taskDialog").visible)
            keyClick(Qt.Key_L, Qt.ControlModifier)
            verify(!auth.loggedIn)
            compare(stack.depth, 1)
            verify(stack.currentItem.hasOwnProperty("stackView") && stack.currentItem.stackView === stack)
            stack.clear()
            verify(testSupport.signIn("alice") > 0)
        }
    }
}
