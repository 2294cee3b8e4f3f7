import QtQuick
import QtQuick.Controls
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
            taskService.sort(0, Qt.AscendingOrder)
            savedSpy.clear()
        }

        function cleanup() {
            testSupport.makeDatabaseWritable()
            for (const name of ["customerSelectionDialog", "customerDialog", "expirePicker"])
                part(name).close()
            dialog.close()
            tryVerify(() => !dialog.visible)
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

        function createStored(name, customerId) {
            verify(taskService.createTask(name, new Date(2030, 4, 6, 7, 8), false, 42, customerId ?? 0, "Some notes"))
            return testSupport.scalar("SELECT id FROM tasks WHERE name = '" + name + "'")
        }

        function test_createThroughTheDialog() {
            openNew()
            compare(dialog.title, "New Task")
            verify(!part("deleteTaskButton").visible)
            type("Call Bob")
            keyClick(Qt.Key_G, Qt.ControlModifier)
            tryVerify(() => part("expirePicker").opened)
            keyClick(Qt.Key_Return)
            tryVerify(() => !part("expirePicker").visible)
            verify(dialog.expireAtLocal !== null)
            keyClick(Qt.Key_W, Qt.ControlModifier)
            keyClick(Qt.Key_W, Qt.ControlModifier)
            keyClick(Qt.Key_Q, Qt.ControlModifier)
            keyClick(Qt.Key_D, Qt.ControlModifier)
            part("taskNotesArea").text = "  first call  "
            const expiry = new Date(dialog.expireAtLocal)
            mouseClick(part("taskSaveButton"))
            tryVerify(() => !dialog.visible)
            compare(savedSpy.count, 1)

            const row = taskModel.rowForId(testSupport.scalar("SELECT id FROM tasks WHERE name = 'Call Bob'"))
            verify(row >= 0, "the new task is in the table")
            compare([taskModel.levelAt(row), taskModel.activeAt(row), taskModel.notesAt(row)], [2, true, "first call"])
            compare(testSupport.scalar("SELECT expire_at_epoch FROM tasks WHERE name = 'Call Bob'"),
                    Math.floor(expiry.getTime() / 1000))
            compare(testSupport.scalar("SELECT customer_id FROM tasks WHERE name = 'Call Bob'"), 0)
        }

        function test_presetExpiryNeedsOnlyAName() {
            openNew("2026-09-01 08:30")
            compare(part("expireField").text, "2026-09-01 08:30")
            type("Preset")
            keyClick(Qt.Key_Return)
            tryVerify(() => !dialog.visible)
            compare(testSupport.scalar("SELECT expire_at FROM tasks WHERE name = 'Preset'"),
                    new Date(2026, 8, 1, 8, 30).toISOString())
        }

        function test_editFillsAndSaves() {
            const id = createStored("Old name")
            openTask(id)
            compare(dialog.title, "Edit Task")
            compare([dialog.editMode, dialog.editingId], ["edit", id])
            compare(part("taskNameField").text, "Old name")
            compare(part("taskNotesArea").text, "Some notes")
            compare(part("expireField").text, "2030-05-06 07:08")
            compare(part("levelSpin").value, 42)
            verify(!part("doneBox").checked)
            verify(part("deleteTaskButton").visible)
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

        function test_missingTaskStaysClosed() {
            page.openTask(987654)
            wait(0)
            verify(!dialog.visible)
        }

        function test_required_data() {
            return [
                { tag: "blank name", name: "   ", expiry: "2026-09-01 08:30" },
                { tag: "no expiry", name: "Task", expiry: null }
            ]
        }

        function test_required(data) {
            openNew(data.expiry)
            type(data.name)
            mouseClick(part("taskSaveButton"))
            compare(part("taskErrorLabel").text, "task name and expire date are required")
            verify(dialog.visible)
            compare(savedSpy.count, 0)
            dialog.close()
            tryVerify(() => !dialog.visible)
            compare(part("taskErrorLabel").text, "", "closing empties the error")
        }

        function test_minutes_data() {
            return [
                { tag: "across hour and day", expiry: "2026-01-31 23:30", minutes: "45", result: "2026-02-01 00:15" },
                { tag: "across the year", expiry: "2026-12-31 23:59", minutes: "1", result: "2027-01-01 00:00" },
                { tag: "zero", expiry: "2026-03-01 10:00", minutes: "0", result: "2026-03-01 10:00" },
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
            compare(part("expireField").text, data.result)
            compare(minutes.text, data.minutes)
        }

        function test_minutesRepeatAndNow() {
            openNew()
            const minutes = part("minutesField")
            minutes.forceActiveFocus()
            type("90")
            const before = new Date()
            before.setSeconds(0, 0)
            part("taskNameField").forceActiveFocus() // leaving the field finishes the entry
            const expected = new Date(before.getTime() + 90 * 60000)
            verify(dialog.expireAtLocal.getTime() >= expected.getTime()
                   && dialog.expireAtLocal.getTime() < expected.getTime() + 2 * 60000, "now plus 90 minutes")
            compare(dialog.expireAtLocal.getSeconds(), 0)
            const first = part("expireField").text
            minutes.forceActiveFocus()
            keyClick(Qt.Key_Return)
            const again = new Date(dialog.expireAtLocal)
            compare(Qt.formatDateTime(new Date(again.getTime() - 90 * 60000), "yyyy-MM-dd HH:mm"), first)
        }

        function test_levelLimits() {
            openNew()
            const level = part("levelSpin")
            keyClick(Qt.Key_Q, Qt.ControlModifier)
            compare(level.value, 1)
            level.value = 100
            keyClick(Qt.Key_W, Qt.ControlModifier)
            compare(level.value, 100)
            keyClick(Qt.Key_Q, Qt.ControlModifier)
            compare(level.value, 99)
        }

        function test_failedSaveKeepsTheForm() {
            openNew("2026-09-01 08:30")
            type("Unsaved work")
            part("taskNotesArea").text = "long notes"
            verify(testSupport.makeDatabaseReadOnly())
            keyClick(Qt.Key_Return)
            verify(dialog.visible)
            compare(part("taskErrorLabel").text, "Could not save the task.")
            compare(part("taskNameField").text, "Unsaved work")
            compare(part("taskNotesArea").text, "long notes")
            compare(part("expireField").text, "2026-09-01 08:30")
            compare(savedSpy.count, 0)
            verify(testSupport.makeDatabaseWritable())
            keyClick(Qt.Key_Return)
            tryVerify(() => !dialog.visible)
            compare(savedSpy.count, 1)
            compare(testSupport.scalar("SELECT notes FROM tasks WHERE name = 'Unsaved work'"), "long notes")
        }

        function test_failedEditAndDelete() {
            const id = createStored("Kept")
            openTask(id)
            part("taskNameField").text = "Changed"
            verify(testSupport.makeDatabaseReadOnly())
            mouseClick(part("taskSaveButton"))
            compare(part("taskErrorLabel").text, "Could not save the task.")
            mouseClick(part("deleteTaskButton"))
            compare(part("taskErrorLabel").text, "Could not delete the task.")
            verify(dialog.visible)
            compare(part("taskNameField").text, "Changed")
            verify(testSupport.makeDatabaseWritable())
            mouseClick(part("deleteTaskButton"))
            tryVerify(() => !dialog.visible)
            compare(savedSpy.count, 1)
            compare(testSupport.scalar("SELECT COUNT(*) FROM tasks"), 0)
        }

        function test_customerRow() {
            verify(customerService.createCustomer("Acme", "Big client", [{ type: "email", value: "a@acme.test", label: "" }]))
            const customerId = testSupport.scalar("SELECT id FROM customers WHERE name = 'Acme'")
            const id = createStored("With customer", customerId)
            openTask(id)
            compare(part("customerField").text, "Acme")
            verify(part("detachCustomerButton").visible)
            verify(part("openCustomerButton").visible)

            mouseClick(part("openCustomerButton"))
            const customerDialog = part("customerDialog")
            tryVerify(() => customerDialog.opened)
            compare([customerDialog.id, customerDialog.name, customerDialog.notes], [customerId, "Acme", "Big client"])
            customerDialog.customerSaved(customerId, "Acme Ltd")
            compare(part("customerField").text, "Acme Ltd")
            customerDialog.close()
            tryVerify(() => !customerDialog.visible)

            mouseClick(part("detachCustomerButton"))
            compare([dialog.selectedCustomerId, part("customerField").text], [null, ""])
            verify(!part("openCustomerButton").visible)

            mouseClick(part("customerField"))
            const selection = part("customerSelectionDialog")
            tryVerify(() => selection.opened)
            keyClick(Qt.Key_Return)
            verify(dialog.visible, "Return belongs to the selection dialog while it is open")
            selection.customerSelected(customerId, "Acme")
            selection.close()
            tryVerify(() => !selection.visible)
            compare([dialog.selectedCustomerId, part("customerField").text], [customerId, "Acme"])
            mouseClick(part("taskSaveButton"))
            tryVerify(() => !dialog.visible)
            compare(testSupport.scalar("SELECT customer_id FROM tasks WHERE id = " + id), customerId)

            openTask(id, false)
            verify(part("detachCustomerButton").visible)
            verify(!part("openCustomerButton").visible, "hidden when opened from a customer dialog")
            verify(customerService.deleteCustomer(customerId))
            dialog.close()
            tryVerify(() => !dialog.visible)
            openTask(id)
            compare(dialog.selectedCustomerId, null, "the deleted customer is detached")
            verify(!part("detachCustomerButton").visible)
        }

        function test_customerNotFound() {
            openNew()
            dialog.selectedCustomerId = 424242
            mouseClick(part("openCustomerButton"))
            compare(part("taskErrorLabel").text, "Selected customer not found")
            verify(!part("customerDialog").visible)
        }
    }
}
