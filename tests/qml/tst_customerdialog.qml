import QtQuick
import QtQuick.Controls
import QtTest
import QuilloQml

Item {
    id: window
    width: 900
    height: 700

    Component {
        id: dialogComponent
        CustomerDialog {}
    }

    // Stands in for the home page, which opens tasks for the dialog.
    QtObject {
        id: fakeHome
        property var calls: []
        function forceOpenTask(taskId, expireAt, showCustomerButton) {
            calls.push([taskId, expireAt, showCustomerButton])
        }
    }

    SignalSpy {
        id: savedSpy
        signalName: "customerSaved"
    }

    TestCase {
        name: "CustomerDialog"
        when: windowShown

        property var dialog: null

        function initTestCase() {
            verify(testSupport.signIn("alice") > 0)
        }

        function init() {
            testSupport.exec("DELETE FROM customer_contacts")
            testSupport.exec("DELETE FROM customers")
            testSupport.exec("DELETE FROM tasks")
            dialog = createTemporaryObject(dialogComponent, window)
            savedSpy.clear()
            savedSpy.target = dialog
        }

        function cleanup() {
            testSupport.makeDatabaseWritable()
        }

        function child(name) {
            const found = findChild(dialog.contentItem, name)
            verify(found, name)
            return found
        }

        function contactRows() {
            const list = child("contactList")
            list.forceLayout()
            const rows = []
            for (let i = 0; i < list.count; ++i)
                rows.push(list.itemAtIndex(i))
            return rows
        }

        function rowChild(row, name) {
            const found = findChild(row, name)
            verify(found, name)
            return found
        }

        function typeInto(field, text) {
            field.forceActiveFocus()
            for (const c of text)
                keyClick(c)
        }

        function openOpened(id, name, notes, contacts) {
            dialog.resetAndShow(id, name, notes, contacts)
            tryVerify(() => dialog.opened)
            tryVerify(() => child("nameField").activeFocus)
            // Buttons shown only while editing take their places at the next polish.
            waitForRendering(dialog.contentItem)
        }

        function addCustomer(name) {
            testSupport.exec("INSERT INTO customers (user_id, name, notes) VALUES (1, '" + name + "', '')")
            return testSupport.scalar("SELECT MAX(id) FROM customers")
        }

        function contactsOf(id) {
            return testSupport.scalar("SELECT group_concat(type || ':' || value || ':' || ifnull(label, ''), '|') FROM "
                                      + "(SELECT * FROM customer_contacts WHERE customer_id = " + id + " ORDER BY id)")
        }

        function test_blankNameIsRefused_data() {
            return [{ tag: "empty", name: "" }, { tag: "blank", name: "   " }]
        }

        function test_blankNameIsRefused(data) {
            openOpened(null, data.name, "notes", [])
            mouseClick(child("saveButton"))
            compare(child("errorLabel").text, "Name is required")
            verify(dialog.visible)
            compare(savedSpy.count, 0)
            compare(testSupport.scalar("SELECT COUNT(*) FROM customers"), 0)
            dialog.close()
            tryVerify(() => !dialog.visible)
            compare(child("errorLabel").text, "")
        }

        function test_createWithContacts() {
            openOpened(null, "", "", [])
            verify(!dialog.header.itemAt(1).enabled, "the Tasks tab waits for a saved customer")
            verify(!child("deleteButton").visible)
            typeInto(child("nameField"), " Acme ")
            for (let i = 0; i < 3; ++i)
                mouseClick(child("addContactButton"))
            const rows = contactRows()
            compare(rows.length, 3)
            typeInto(rowChild(rows[0], "valueField"), "555-1")
            typeInto(rowChild(rows[0], "labelField"), "desk")
            typeInto(rowChild(rows[1], "valueField"), "   ")
            const typeBox = rowChild(rows[2], "typeBox")
            typeBox.currentIndex = 1
            typeBox.activated(1)
            typeInto(rowChild(rows[2], "valueField"), "a@b.c")

            keyClick(Qt.Key_Return)

            tryVerify(() => !dialog.visible)
            compare(savedSpy.count, 1)
            compare(savedSpy.signalArguments[0][0], null)
            compare(savedSpy.signalArguments[0][1], " Acme ")
            const id = testSupport.scalar("SELECT id FROM customers WHERE name = 'Acme'")
            verify(id > 0)
            compare(contactsOf(id), "phone:555-1:desk|email:a@b.c:")
        }

        function test_editKeepsUnknownTypeAndRemovesRows() {
            const id = addCustomer("Old")
            openOpened(id, "Old", "n", [{ "type": "fax", "value": "1", "label": "x" },
                                        { "type": "", "value": "2" },
                                        { "type": "email", "value": "3", "label": "" }])
            verify(dialog.header.itemAt(1).enabled)
            compare(dialog.title, "Edit Customer")
            const rows = contactRows()
            compare(rowChild(rows[0], "typeBox").currentText, "phone")
            compare(rowChild(rows[1], "typeBox").currentText, "phone")
            mouseClick(rowChild(rows[2], "removeButton"))
            compare(contactRows().length, 2)
            child("nameField").selectAll()
            typeInto(child("nameField"), "New")
            mouseClick(child("saveButton"))

            tryVerify(() => !dialog.visible)
            compare(savedSpy.signalArguments[0][0], id)
            compare(savedSpy.signalArguments[0][1], "New")
            compare(testSupport.scalar("SELECT name FROM customers WHERE id = " + id), "New")
            compare(contactsOf(id), "fax:1:x|phone:2:")
        }

        function test_failedSaveKeepsTheDialog() {
            openOpened(null, "Kept", "some notes", [{ "type": "phone", "value": "42", "label": "" }])
            verify(testSupport.makeDatabaseReadOnly())

            mouseClick(child("saveButton"))

            compare(child("errorLabel").text, "Could not save the customer.")
            verify(dialog.visible)
            compare(dialog.name, "Kept")
            compare(dialog.notes, "some notes")
            compare(dialog.contactsModel.count, 1)
            compare(savedSpy.count, 0)

            verify(testSupport.makeDatabaseWritable())
            mouseClick(child("saveButton"))
            tryVerify(() => !dialog.visible)
            compare(savedSpy.count, 1)
            compare(testSupport.scalar("SELECT COUNT(*) FROM customers WHERE name = 'Kept'"), 1)
        }

        function test_delete() {
            const id = addCustomer("Gone")
            openOpened(id, "Gone", "", [])
            verify(testSupport.makeDatabaseReadOnly())
            mouseClick(child("deleteButton"))
            compare(child("errorLabel").text, "Could not delete the customer.")
            verify(dialog.visible)

            verify(testSupport.makeDatabaseWritable())
            mouseClick(child("deleteButton"))
            tryVerify(() => !dialog.visible)
            compare(testSupport.scalar("SELECT COUNT(*) FROM customers"), 0)
        }

        function test_tasksTab() {
            const id = addCustomer("Busy")
            testSupport.exec("INSERT INTO tasks (user_id, customer_id, name, active, expire_at, expire_at_epoch) "
                             + "VALUES (1, " + id + ", 'Call back', 1, '2030-05-06T07:08:00.000Z', 1904022480)")
            const taskId = testSupport.scalar("SELECT MAX(id) FROM tasks")
            dialog.homePageRef = fakeHome
            fakeHome.calls = []
            openOpened(id, "Busy", "", [])
            compare(dialog.customerTasks.length, 1)

            mouseClick(dialog.header.itemAt(1))
            const list = child("taskList")
            tryVerify(() => list.visible && list.count === 1)
            list.forceLayout()
            mouseClick(list.itemAtIndex(0))
            compare(fakeHome.calls.length, 1)
            compare(fakeHome.calls[0][0], taskId)
            compare(fakeHome.calls[0][1], null)
            compare(fakeHome.calls[0][2], false)

            // Tasks added while the dialog is open show up, and a new opening starts on the first tab.
            taskService.createTask("Second", "2030-05-07T07:08:00.000Z", false, 1, id, "")
            compare(dialog.customerTasks.length, 2)
            dialog.close()
            tryVerify(() => !dialog.visible)
            openOpened(id, "Busy", "", [])
            compare(dialog.header.currentIndex, 0)
        }
    }
}
