import QtQuick
import QtQuick.Controls
import QtTest
import QuilloQml

// The task dialog, and the expiry picker with its day grid in the tasks page's filter and in the dialog.
Item {
    id: root
    width: 1300
    height: 700

    StackView {
        id: stack
        visible: false
    }

    TasksPage {
        id: page
        anchors.fill: parent
        stackView: stack
    }

    SignalSpy {
        id: savedSpy
        signalName: "taskSaved"
    }

    TestCase {
        name: "TaskDialog"
        when: windowShown

        property var dialog: null

        function initTestCase() {
            verify(testSupport.signIn("alice") > 0)
            dialog = findChild(page, "taskDialog")
            savedSpy.target = dialog
        }

        function init() {
            verify(testSupport.exec("DELETE FROM tasks"))
            savedSpy.clear()
        }

        function cleanup() {
            testSupport.makeDatabaseWritable()
            part("expirePicker").close()
            dialog.close()
            findChild(page, "expirePicker").close()
            tryVerify(() => !dialog.visible && !findChild(page, "expirePicker").visible)
            taskService.filterExpireTo = ""
        }

        function part(name) {
            const item = findChild(dialog, name)
            verify(item, name)
            return item
        }

        function type(text) {
            for (const ch of text)
                keyClick(ch)
        }

        function openNew(expiry) {
            page.openNewTask(expiry)
            tryVerify(() => dialog.opened)
            tryVerify(() => part("taskNameField").activeFocus)
        }

        function openTask(id, showCustomerButton) {
            page.openTask(id, showCustomerButton)
            tryVerify(() => dialog.opened)
            waitForRendering(dialog.contentItem) // lays out the customer row's buttons
        }

        function stored(column, name) {
            return testSupport.scalar("SELECT " + column + " FROM tasks WHERE name = '" + name + "'")
        }

        function createStored(name, customerId) {
            verify(taskService.createTask(name, new Date(2030, 4, 6, 7, 8), false, 42, customerId ?? 0, "Some notes"))
            return stored("id", name)
        }

        // "yyyy-MM-dd HH:mm", spaces around it allowed, as a local date-time.
        function moment(text) {
            const [year, month, day, hour, minute] = text.trim().split(/[- :]/).map(Number)
            return new Date(year, month - 1, day, hour, minute)
        }

        function sameMoment(actual, expected, message) {
            compare(new Date(actual).getTime(), expected.getTime(), message)
        }

        // The picker starts "now", read between two clock readings taken to the minute.
        function verifyStartsNow(popup, before) {
            before.setSeconds(0, 0)
            const start = new Date(popup.tmpDate).getTime()
            verify(start >= before.getTime() && start <= Date.now(), "starts at the current time")
        }

        function test_createThroughTheDialog() {
            openNew()
            type("Call Bob")
            const before = new Date()
            keyClick(Qt.Key_G, Qt.ControlModifier)
            tryVerify(() => part("expirePicker").opened)
            verifyStartsNow(part("expirePicker"), before)
            keyClick(Qt.Key_Return)
            tryVerify(() => !part("expirePicker").visible)
            verify(dialog.expireAtLocal !== null)
            for (const key of [Qt.Key_W, Qt.Key_W, Qt.Key_Q, Qt.Key_D])
                keyClick(key, Qt.ControlModifier)
            part("taskNotesArea").text = "  first call  "
            const expiry = new Date(dialog.expireAtLocal)
            mouseClick(part("taskSaveButton"))
            tryVerify(() => !dialog.visible)
            compare(savedSpy.count, 1)

            const row = taskModel.rowForId(stored("id", "Call Bob"))
            verify(row >= 0, "the new task is in the table")
            compare([taskModel.levelAt(row), taskModel.activeAt(row), taskModel.notesAt(row)], [2, true, "first call"])
            compare([stored("expire_at_epoch", "Call Bob"), stored("customer_id", "Call Bob")],
                    [Math.floor(expiry.getTime() / 1000), 0])
        }

        function test_editFillsAndSaves() {
            page.openTask(987654)
            wait(0)
            verify(!dialog.visible, "no form for a task that does not exist")

            const id = createStored("Old name")
            openTask(id)
            compare([dialog.title, dialog.editMode, dialog.editingId], ["Edit Task", "edit", id])
            compare([part("taskNameField").text, part("taskNotesArea").text, part("expireField").text],
                    ["Old name", "Some notes", "2030-05-06 07:08"])
            compare([part("levelSpin").value, part("doneBox").checked, part("deleteTaskButton").visible],
                    [42, false, true])
            verify(!part("detachCustomerButton").visible, "no customer, no detach button")
            part("taskNameField").selectAll()
            type("New name")
            // A level still being typed counts when Return saves.
            part("levelSpin").contentItem.forceActiveFocus()
            part("levelSpin").contentItem.selectAll()
            type("55")
            keyClick(Qt.Key_Return)
            tryVerify(() => !dialog.visible)
            const row = taskModel.rowForId(id)
            compare([taskModel.nameAt(row), taskModel.levelAt(row)], ["New name", 55])
        }

        function test_refusedSave_data() {
            const required = "task name and expire date are required"
            return [
                { tag: "blank name", name: "   ", expiry: "2026-09-01 08:30", error: required },
                { tag: "no expiry", name: "Task", expiry: null, error: required },
                { tag: "read-only database", name: "Unsaved work", expiry: "2026-09-01 08:30", readOnly: true,
                  error: "Could not save the task." }
            ]
        }

        // The form stays with everything typed; a failed write can be saved once the file is writable again.
        function test_refusedSave(data) {
            openNew(data.expiry)
            type(data.name)
            part("taskNotesArea").text = "long notes"
            if (data.readOnly)
                verify(testSupport.makeDatabaseReadOnly())
            keyClick(Qt.Key_Return)
            verify(dialog.visible)
            compare(part("taskErrorLabel").text, data.error)
            compare([part("taskNameField").text, part("taskNotesArea").text, part("expireField").text],
                    [data.name, "long notes", data.expiry ?? ""])
            compare(savedSpy.count, 0)
            if (!data.readOnly) {
                dialog.close()
                tryVerify(() => !dialog.visible)
                compare(part("taskErrorLabel").text, "", "closing empties the error")
                return
            }
            verify(testSupport.makeDatabaseWritable())
            keyClick(Qt.Key_Return)
            tryVerify(() => !dialog.visible)
            compare(savedSpy.count, 1)
            compare([stored("notes", data.name), stored("expire_at", data.name)],
                    ["long notes", new Date(2026, 8, 1, 8, 30).toISOString()])
        }

        function test_failedEditAndDelete() {
            openTask(createStored("Kept"))
            part("taskNameField").text = "Changed"
            verify(testSupport.makeDatabaseReadOnly())
            mouseClick(part("taskSaveButton"))
            compare(part("taskErrorLabel").text, "Could not save the task.")
            mouseClick(part("deleteTaskButton"))
            compare(part("taskErrorLabel").text, "Could not delete the task.")
            verify(dialog.visible)
            compare(part("taskNameField").text, "Changed")
            compare(testSupport.scalar("SELECT name FROM tasks"), "Kept")
        }

        function test_minutes_data() {
            return [
                { tag: "across hour and day", expiry: "2026-01-31 23:30", minutes: "45", result: "2026-02-01 00:15" },
                { tag: "across the year", expiry: "2026-12-31 23:59", minutes: "1", result: "2027-01-01 00:00" },
                { tag: "empty minutes", expiry: "2026-03-01 10:00", minutes: "", result: "2026-03-01 10:00" },
                { tag: "unreadable expiry", expiry: "soon", minutes: "30", result: "soon" }
            ]
        }

        function test_minutes(data) {
            openNew()
            part("expireField").text = data.expiry
            const minutes = part("minutesField")
            minutes.forceActiveFocus()
            type(data.minutes)
            keyClick(Qt.Key_Return)
            verify(dialog.visible, "Return in the minutes field finishes the entry, it does not save")
            compare([part("expireField").text, minutes.text], [data.result, data.minutes])
        }

        // The tasks page's filter field: the picker starts at its text (or now), and confirms into it.
        function test_filterPicker_data() {
            const ctrl = key => [key, Qt.ControlModifier]
            const row = (tag, text, keys, result) => ({ tag: tag, text: text, keys: keys, result: result })
            return [
                row("Right on January 31st", "2026-01-31 17:45", [[Qt.Key_Right]], "2026-02-01 17:45"),
                row("Up across a leap February", "2024-03-03 08:00", [[Qt.Key_Up]], "2024-02-25 08:00"),
                // A week of 168 hours ends a day early where the clocks go back.
                row("Down across November 1st", "2026-10-29 12:00", [[Qt.Key_Down]], "2026-11-05 12:00"),
                // West of UTC a day taken from the grid's date role (midnight UTC) is a day early.
                Object.assign(row("tap on the 18th", "2026-03-01 08:00", [], "2026-03-18 08:00"), { tap: 18 }),
                row("no roll-over at 23:59", "2026-03-05 23:59", [ctrl(Qt.Key_Up), ctrl(Qt.Key_Right)],
                    "2026-03-05 23:59"),
                row("none below 00:00, trimmed text", " 2026-03-05 00:00 ", [ctrl(Qt.Key_Down), ctrl(Qt.Key_Left)],
                    "2026-03-05 00:00"),
                row("another day keeps the time", "2026-03-05 10:10",
                    [ctrl(Qt.Key_Down), ctrl(Qt.Key_Left), [Qt.Key_Right]], "2026-03-06 09:09"),
                row("unreadable field starts now, cancel", "2026-3-5 14:30", [], null)
            ]
        }

        function test_filterPicker(data) {
            const popup = findChild(page, "expirePicker")
            const grid = findChild(popup.contentItem, "datePicker")
            const field = findChild(page, "expireToField")
            taskService.filterExpireTo = data.text
            const before = new Date()
            mouseClick(field) // a tap on the field opens its picker
            tryVerify(() => popup.opened)
            if (!data.result) {
                verifyStartsNow(popup, before)
                mouseClick(findChild(popup.contentItem, "pickerCancelButton"))
                tryVerify(() => !popup.visible)
                compare([field.text, taskService.filterExpireTo], [data.text, data.text])
                return
            }
            const start = moment(data.text)
            sameMoment(popup.tmpDate, start)
            compare([findChild(popup.contentItem, "hourSpin").value, findChild(popup.contentItem, "minuteSpin").value],
                    [start.getHours(), start.getMinutes()])
            if (data.tap) {
                const day = new Date(start.getFullYear(), start.getMonth(), data.tap).getTime()
                const dayCell = Array.from(grid.children[2].contentItem.children)
                    .find(c => c.day && c.day.getTime() === day)
                verify(dayCell, "a cell for day " + data.tap)
                mouseClick(dayCell)
            }
            for (const [key, modifiers] of data.keys)
                keyClick(key, modifiers ?? Qt.NoModifier)
            const result = moment(data.result)
            compare([grid.month, grid.year], [result.getMonth(), result.getFullYear()])
            keyClick(Qt.Key_Return)
            tryVerify(() => !popup.visible)
            compare([field.text, taskService.filterExpireTo, popup.opener], [data.result, data.result, null])
        }

        function test_dialogPicker() {
            openNew("2026-07-04 09:15")
            const popup = part("expirePicker")
            compare(popup.width, 460)
            mouseClick(part("expireField"))
            tryVerify(() => popup.opened)
            sameMoment(popup.tmpDate, new Date(2026, 6, 4, 9, 15), "starts at the dialog's expiry")
            keyClick(Qt.Key_Up, Qt.ControlModifier)
            keyClick(Qt.Key_Down)
            // A minute still being typed, not yet taken by its spin box, is part of the confirmed pick.
            const minute = findChild(popup.contentItem, "minuteSpin").contentItem
            minute.forceActiveFocus()
            minute.selectAll()
            type("40")
            keyClick(Qt.Key_Return)
            tryVerify(() => !popup.visible)
            verify(dialog.visible, "Return confirmed the picker, not the dialog")
            sameMoment(dialog.expireAtLocal, new Date(2026, 6, 11, 10, 40))
            compare(part("expireField").text, "2026-07-11 10:40")
        }
    }
}
