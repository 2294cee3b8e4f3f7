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

    TestCase {
        name: "TasksPage"
        when: windowShown

        readonly property date past: new Date(Date.now() - 3600 * 1000)
        readonly property date future: new Date(Date.now() + 48 * 3600 * 1000)
        readonly property var popups: ["taskDialog", "expirePicker", "taskActionDialog", "confirmDeleteDialog"]

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
            popups.forEach(name => part(name).close())
            tryVerify(() => popups.every(name => !part(name).visible))
        }

        function part(name) {
            const item = findChild(page, name)
            verify(item, name)
            return item
        }

        // Tasks "T1".. in id order, each given as [level, done, expiry].
        function addTasks(specs) {
            specs.forEach(([level, done, expiry], i) =>
                          verify(taskService.createTask("T" + (i + 1), expiry ?? "", done, level)))
            taskService.loadPage(1)
        }

        function cell(column, row) {
            const table = part("taskTable")
            table.forceLayout()
            const item = table.itemAtCell(Qt.point(column, row))
            verify(item, "cell " + column + "," + row)
            return item
        }

        // Does what opens or closes a popup and waits until it is open, or gone.
        function opened(popup, action) {
            action()
            tryVerify(() => popup.opened)
        }

        function closed(popup, action) {
            action()
            tryVerify(() => !popup.visible)
        }

        function keys(list) {
            for (const [key, modifiers] of list)
                keyClick(key, modifiers ?? Qt.NoModifier)
        }

        function test_headerClicksSort() {
            addTasks([[30, false, future], [10, false, future], [60, false, future]])
            const header = part("header")
            const steps = [[2, Qt.AscendingOrder, [10, 30, 60]], [2, Qt.DescendingOrder, [60, 30, 10]],
                           [2, Qt.AscendingOrder, [10, 30, 60]], [0, Qt.AscendingOrder, [30, 10, 60]]]
            for (const [column, order, levels] of steps) {
                header.forceLayout()
                mouseClick(header.itemAtCell(Qt.point(column, 0)))
                compare([taskService.sortColumn, taskService.sortOrder], [column, order])
                compare([0, 1, 2].map(row => taskModel.levelAt(row)), levels)
            }
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
            compare([taskService.filterActive, taskService.filterLevel, box.currentIndex],
                    [data.active, data.level, data.index])
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
            compare([box.displayText, taskService.pageSize], ["25", 7], "a size the box does not offer shows as 25")
            taskService.loadPage(2)
            box.activated(0)
            compare([taskService.pageSize, taskService.currentPage, box.displayText], [10, 1, "10"])
            mouseClick(part("nextButton"))
            compare([part("pageLabel").text, part("prevButton").enabled, part("nextButton").enabled],
                    ["Page 2 / 2", true, false])
        }

        function test_deleteDoneAsksFirst() {
            addTasks([[1, true, future], [1, false, future], [1, true, past]])
            for (const answer of ["reject", "accept"]) {
                opened(part("confirmDeleteDialog"), () => mouseClick(part("deleteDoneButton")))
                compare(taskService.totalCount, 3)
                part("confirmDeleteDialog")[answer]()
            }
            compare([taskService.totalCount, taskService.activeCount], [1, 0])
        }

        function test_overdueRowsGrey() {
            addTasks([[10, false, past], [40, true, future], [70, false, null]])
            for (let column = 0; column < 6; ++column)
                compare([0, 1, 2].map(row => String(cell(column, row).textColor)), ["#808080", "#ffffff", "#ffffff"])
            // A reload that makes the same row overdue repaints it.
            verify(taskService.updateTask(taskModel.taskIdAt(1), "T2", true, past.toISOString(), 40))
            compare(String(cell(1, 1).textColor), "#808080")
        }

        function test_keys() {
            addTasks(Array(7).fill([1, false, future]))
            taskService.pageSize = 3
            taskService.loadPage(1)
            const rows = [[Qt.Key_Down, 0], [Qt.Key_Up, 0], [Qt.Key_Down, 1], [Qt.Key_Down, 2], [Qt.Key_Down, 2],
                          [null, -1], [Qt.Key_Up, 2], [Qt.Key_Up, 1]]
            for (const [key, row] of rows) {
                key ? keyClick(key) : page.selectTaskRow(-1)
                compare([page.selectedRow, taskService.currentPage], [row, 1], "after key " + key)
            }
            for (const [key, number] of [[Qt.Key_Left, 1], [Qt.Key_Right, 2], [Qt.Key_End, 3], [Qt.Key_Right, 3],
                                         [Qt.Key_Left, 2], [Qt.Key_Home, 1]]) {
                keyClick(key)
                compare(taskService.currentPage, number, "after key " + key)
            }
            keyClick(Qt.Key_Delete)
            compare([taskService.totalCount, page.selectedRow], [6, -1])
            const dialog = part("taskDialog")
            opened(dialog, () => keys([[Qt.Key_Down], [Qt.Key_E, Qt.ControlModifier]]))
            compare([dialog.editMode, dialog.editingId], ["edit", taskModel.taskIdAt(0)])
            keyClick(Qt.Key_L, Qt.ControlModifier)
            verify(auth.loggedIn, "no sign-out while the task dialog is open")
            closed(dialog, () => dialog.close())
            opened(dialog, () => keyClick(Qt.Key_N, Qt.ControlModifier))
            compare(dialog.editMode, "create")
            closed(dialog, () => dialog.close())
            part("taskSearchField").text = "T"
            keyClick(Qt.Key_F, Qt.ControlModifier)
            verify(part("taskSearchField").activeFocus)
            compare(part("taskSearchField").selectedText, "T")

            keyClick(Qt.Key_L, Qt.ControlModifier)
            verify(!auth.loggedIn)
            compare(stack.depth, 1)
            verify(stack.currentItem.hasOwnProperty("stackView") && stack.currentItem.stackView === stack)
            stack.clear()
            verify(testSupport.signIn("alice") > 0)
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
            keys([[Qt.Key_Down], [Qt.Key_Right], [Qt.Key_End], [Qt.Key_Delete], [Qt.Key_N, Qt.ControlModifier],
                  [Qt.Key_E, Qt.ControlModifier], [Qt.Key_F, Qt.ControlModifier]])
            compare([page.selectedRow, taskService.currentPage, taskService.totalCount], [0, 1, 4])
            verify(!part("taskSearchField").activeFocus)
            if (tabs.currentIndex === 1)
                verify(!part("taskDialog").visible)
        }
    }
}
