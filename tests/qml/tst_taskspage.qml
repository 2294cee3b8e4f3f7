import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QuilloQml

Item {
    id: root
    width: 1300
    height: 700

    StackView {
        id: stack
        visible: false
    }

    // The page as the home page holds it: one tab of several; its task dialog and pickers in the second case.
    StackLayout {
        id: tabs
        anchors.fill: parent

        TasksPage {
            id: page
            stackView: stack
        }
        Item {}
    }

    PageTest {
        name: "TasksPage"
        subject: page

        readonly property date past: new Date(Date.now() - 3600 * 1000)
        readonly property date future: new Date(Date.now() + 48 * 3600 * 1000)
        readonly property var popups: ["taskDialog", "expirePicker", "taskActionDialog", "confirmDeleteDialog"]

        function init() {
            verify(testSupport.exec("DELETE FROM tasks"))
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

        // Tasks "T1".. in id order, each given as [level, done, expiry].
        function addTasks(specs, pageSize = 25) {
            specs.forEach(([level, done, expiry], i) => verify(taskService.createTask("T" + (i + 1), expiry, done, level)))
            taskService.pageSize = pageSize
            taskService.loadPage(1)
        }

        function test_stateFilterBox_data() {
            return [{ tag: "Done", index: 1, active: 1, level: -1 }, { tag: "Pending", index: 2, active: 0, level: -1 },
                    { tag: "High", index: 5, active: -1, level: 51 }]
        }

        function test_stateFilterBox(data) {
            const box = part("stateFilterBox")
            taskService.filterActive = 1 // choosing any entry first clears the other kind of filter
            taskService.filterLevel = 51
            box.activated(data.index)
            compare([taskService.filterActive, taskService.filterLevel, box.currentIndex],
                    [data.active, data.level, data.index])
        }

        function test_deleteDoneAsksFirst() {
            addTasks([[1, true, future], [1, false, future], [1, true, past]])
            for (const answer of ["reject", "accept"]) {
                opened(part("confirmDeleteDialog"), () => mouseClick(part("deleteDoneButton")))
                compare(part("confirmDeleteText").text, "Delete ALL tasks Done? 2 tasks will be deleted.\nThis action cannot be undone.")
                compare(taskService.totalCount, 3)
                part("confirmDeleteDialog")[answer]()
            }
            compare([taskService.totalCount, taskService.activeCount], [1, 0])
        }

        // Ids of seven digits are shown whole; a search without a match says so.
        function test_longIdsAndNoMatch() {
            verify(testSupport.exec("INSERT INTO tasks (id, user_id, name) VALUES (1234567, " + auth.userId + ", 'Long id')"))
            taskService.loadPage(1)
            const table = part("taskTable")
            table.forceLayout()
            const idText = table.itemAtCell(Qt.point(0, 0)).children[2]
            compare([idText.text, idText.truncated, part("noMatchLabel").visible], ["1234567", false, false])
            taskService.filterName = "no such task"
            tryVerify(() => part("noMatchLabel").visible)
            taskService.filterName = ""
        }

        function test_keys() {
            addTasks(Array(7).fill([1, false, future]), 3)
            for (const [key, row] of [[Qt.Key_Down, 0], [Qt.Key_Down, 1], [Qt.Key_Down, 2], [Qt.Key_Down, 2],
                                      [Qt.Key_Up, 1]]) {
                keyClick(key)
                compare(page.selectedRow, row)
            }
            for (const [key, number] of [[Qt.Key_Right, 2], [Qt.Key_End, 3], [Qt.Key_Left, 2], [Qt.Key_Home, 1]]) {
                keyClick(key)
                compare(taskService.currentPage, number)
            }
            // The selection went with its task's page: Delete reaches nothing until a task is chosen.
            keyClick(Qt.Key_Delete)
            compare([taskService.totalCount, page.selectedRow], [7, -1])
            keyClick(Qt.Key_Down)
            taskService.sort(0, Qt.DescendingOrder)
            compare(page.selectedRow, -1)
            taskService.sort(0, Qt.AscendingOrder)
            keyClick(Qt.Key_Down)
            const chosen = page.selectedTaskId
            taskModel.sort(0, Qt.DescendingOrder)
            compare([page.selectedRow, page.selectedTaskId], [2, chosen])
            keyClick(Qt.Key_Delete)
            compare([taskService.totalCount, page.selectedRow, undoService.notice], [6, -1, "Deleted task \"T1\""])
            verify(undoService.undo())
            compare([taskService.totalCount, taskService.taskById(chosen).taskId], [7, chosen])
            undoService.deleteTask(chosen)
            const dialog = part("taskDialog")
            opened(dialog, () => keyClick(Qt.Key_N, Qt.ControlModifier))
            keyClick(Qt.Key_L, Qt.ControlModifier)
            verify(auth.loggedIn, "no sign-out while the task dialog is open")
            closed(dialog, () => dialog.close())
            keyClick(Qt.Key_F, Qt.ControlModifier)
            verify(part("taskSearchField").activeFocus)
            keyClick(Qt.Key_L, Qt.ControlModifier)
            verify(!auth.loggedIn && stack.depth === 1)
            stack.clear()
            verify(testSupport.signIn("alice") > 0)
        }

        function test_shortcutsDead_data() {
            return [{ tag: "task dialog open", open: () => page.openNewTask() },
                    { tag: "expiry picker open", open: () => part("expirePicker").openFor(part("expireFromField")) },
                    { tag: "another tab shown", open: () => { tabs.currentIndex = 1 } }]
        }

        function test_shortcutsDead(data) {
            addTasks(Array(4).fill([1, false, future]), 2)
            page.selectTaskRow(0)
            data.open()
            wait(0)
            for (const [key, modifiers] of [[Qt.Key_Down], [Qt.Key_Right], [Qt.Key_Delete], [Qt.Key_N, Qt.ControlModifier],
                                            [Qt.Key_F, Qt.ControlModifier]])
                keyClick(key, modifiers ?? Qt.NoModifier)
            compare([page.selectedRow, taskService.currentPage, taskService.totalCount], [0, 1, 4])
            verify(!part("taskSearchField").activeFocus)
        }
    }

    PageTest {
        name: "TaskDialog"
        subject: dialog

        readonly property var dialog: findChild(page, "taskDialog")

        function init() {
            verify(testSupport.exec("DELETE FROM tasks"))
            tabs.currentIndex = 0
        }

        function cleanup() {
            testSupport.makeDatabaseWritable()
            part("expirePicker").close()
            dialog.close()
            tryVerify(() => !dialog.visible)
        }

        function openNew(expiry) {
            opened(dialog, () => page.openNewTask(expiry))
            tryVerify(() => part("taskNameField").activeFocus)
        }

        function stored(column, name) {
            return testSupport.scalar("SELECT " + column + " FROM tasks WHERE name = '" + name + "'")
        }

        function test_createThroughTheDialog() {
            openNew()
            type("Call Bob")
            const before = new Date()
            before.setSeconds(0, 0)
            opened(part("expirePicker"), () => keyClick(Qt.Key_G, Qt.ControlModifier))
            verify(new Date(part("expirePicker").tmpDate).getTime() >= before.getTime(), "starts at the current time")
            keyClick(Qt.Key_Return)
            tryVerify(() => !part("expirePicker").visible)
            verify(dialog.visible, "Return confirmed the picker, not the dialog")
            for (const key of [Qt.Key_W, Qt.Key_W, Qt.Key_Q, Qt.Key_D])
                keyClick(key, Qt.ControlModifier)
            part("taskNotesArea").text = "  first call  "
            const expiry = new Date(dialog.expireAtLocal)
            closed(dialog, () => mouseClick(part("taskSaveButton")))
            const row = taskModel.rowForId(stored("id", "Call Bob"))
            compare([taskModel.levelAt(row), taskModel.activeAt(row), taskModel.notesAt(row)], [2, true, "first call"])
            compare(stored("expire_at_epoch", "Call Bob"), Math.floor(expiry.getTime() / 1000))
        }

        // The minutes are added once, whether the field is left with Return, Tab or Save, and the
        // "required" message goes once both name and expiry are given.
        function test_addMinutesOnce() {
            openNew()
            keyClick(Qt.Key_Return)
            compare(part("taskErrorLabel").text, "task name and expire date are required")
            type("Call Bob")
            part("minutesField").forceActiveFocus()
            type("30")
            keyClick(Qt.Key_Return)
            const shown = part("expireField").text
            verify(dialog.visible)
            compare(part("taskErrorLabel").text, "")
            keyClick(Qt.Key_Tab)
            compare(part("expireField").text, shown)
            closed(dialog, () => mouseClick(part("taskSaveButton")))
            compare(Qt.formatDateTime(new Date(stored("expire_at", "Call Bob")), "yyyy-MM-dd HH:mm"), shown)
        }

        function test_refusedSave_data() {
            return [{ tag: "blank name", name: "   ", error: "task name and expire date are required" },
                    { tag: "read-only database", name: "Unsaved work", readOnly: true, error: "Could not save the task." }]
        }

        // The form stays with everything typed; a failed write can be saved once the file is writable again.
        function test_refusedSave(data) {
            openNew("2026-09-01 08:30")
            type(data.name)
            part("taskNotesArea").text = "long notes"
            if (data.readOnly)
                verify(testSupport.makeDatabaseReadOnly())
            keyClick(Qt.Key_Return)
            verify(dialog.visible)
            compare([part("taskErrorLabel").text, part("taskNameField").text, part("taskNotesArea").text],
                    [data.error, data.name, "long notes"])
            if (!data.readOnly)
                return
            verify(testSupport.makeDatabaseWritable())
            closed(dialog, () => keyClick(Qt.Key_Return))
            compare([stored("notes", data.name), stored("expire_at", data.name)],
                    ["long notes", new Date(2026, 8, 1, 8, 30).toISOString()])
        }
    }
}
