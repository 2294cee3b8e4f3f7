import QtQuick
import QtQuick.Controls
import QtTest
import QuilloQml

Item {
    id: window
    width: 1100
    height: 700

    StackView {
        id: stack
    }

    Component {
        id: pageComponent
        CustomersPage {
            anchors.fill: parent
        }
    }

    Component {
        id: dialogComponent
        CustomerDialog {}
    }

    SignalSpy {
        id: savedSpy
        signalName: "customerSaved"
    }

    PageTest {
        name: "CustomersPage"

        function init() {
            testSupport.exec("DELETE FROM customer_contacts")
            testSupport.exec("DELETE FROM customers")
            customerService.filterName = ""
            customerService.pageSize = 10
            customerService.sort(0, Qt.AscendingOrder)
        }

        function test_selectEditDelete() {
            verify(testSupport.exec("INSERT INTO customers (id, user_id, name, notes) VALUES (1, 1, 'C1', 'n1'), "
                                    + "(2, 1, 'C2', 'n2'), (3, 1, 'C3', 'n3')"))
            verify(testSupport.exec("INSERT INTO customer_contacts (customer_id, type, value) VALUES (2, 'email', 'b@c.d')"))
            subject = createTemporaryObject(pageComponent, window, { "stackView": stack })
            waitForRendering(subject)
            const dialog = part("customerDialog")
            keyClick(Qt.Key_Delete)
            compare(customerService.totalCount, 3)
            part("table").forceLayout()
            mouseClick(part("table").itemAtCell(Qt.point(1, 2)))
            keyClick(Qt.Key_Up)
            compare(subject.selectedRow, 1)
            opened(dialog, () => keyClick(Qt.Key_E, Qt.ControlModifier))
            compare([dialog.id, dialog.name, dialog.notes, dialog.contactsModel.get(0).value], [2, "C2", "n2", "b@c.d"])
            closed(dialog, () => dialog.close())
            keyClick(Qt.Key_Delete)
            compare([subject.selectedRow, customerService.totalCount, undoService.notice], [-1, 2, "Deleted customer \"C2\""])
            verify(undoService.undo())
            compare([customerService.totalCount, customerService.customerById(2).contacts[0].value], [3, "b@c.d"])
        }

        // Changes of another window: the open dialog keeps what is typed, the highlight its customer.
        function test_changedElsewhere() {
            verify(testSupport.exec("INSERT INTO customers (id, user_id, name) VALUES (2, 1, 'C2'), (3, 1, 'C3')"))
            subject = createTemporaryObject(pageComponent, window, { "stackView": stack })
            subject.selectedRow = 1
            const dialog = part("customerDialog")
            opened(dialog, () => subject.editSelectedTask())
            dialog.name = "typed"
            for (const [sql, row] of [["INSERT INTO customers (id, user_id, name) VALUES (1, 1, 'C1')", 2],
                                      ["DELETE FROM customers WHERE id = 3", -1]]) {
                verify(testSupport.exec(sql))
                customerService.onChangedElsewhere()
                compare([subject.selectedRow, dialog.visible, dialog.name, dialog.id], [row, true, "typed", 3])
            }
        }
    }

    PageTest {
        name: "CustomerDialog"

        function init() {
            testSupport.exec("DELETE FROM customer_contacts")
            testSupport.exec("DELETE FROM customers")
            testSupport.exec("INSERT INTO customers (id, user_id, name, notes) VALUES (1, 1, 'Old', '')")
            subject = createTemporaryObject(dialogComponent, window)
            savedSpy.clear()
            savedSpy.target = subject
        }

        function cleanup() {
            testSupport.makeDatabaseWritable()
        }

        function contactRow(index) {
            return entries(part("contactList"))[index]
        }

        function show(id, name, contacts) {
            subject.resetAndShow(id, name, "some notes", contacts)
            tryVerify(() => subject.opened && part("nameField").activeFocus)
            waitForRendering(subject.contentItem) // buttons shown only while editing take their places
        }

        function test_notesStopAtTheirLimit() {
            show(1, "Old", [])
            subject.notes = "o".repeat(100001) // as a paste would
            compare(subject.notes.length, 100000)
        }

        function test_editContacts() {
            show(1, "Old", [{ "type": "fax", "value": "1", "label": "x" }, { "type": "email", "value": "3", "label": "" }])
            mouseClick(part("removeButton", contactRow(1)))
            mouseClick(part("addContactButton"))
            mouseClick(part("addContactButton"))
            part("typeBox", contactRow(1)).activated(1)
            part("valueField", contactRow(1)).forceActiveFocus()
            type("a@b.c")
            part("valueField", contactRow(2)).forceActiveFocus()
            type("   ")
            part("nameField").forceActiveFocus()
            part("nameField").selectAll()
            type(" New ")
            closed(subject, () => keyClick(Qt.Key_Return))
            compare([savedSpy.count, savedSpy.signalArguments[0][0]], [1, 1])
            compare(testSupport.scalar("SELECT name || '/' || notes FROM customers WHERE id = 1"), "New/some notes")
            // An unknown type is kept although the box shows "phone"; a blank value is left out.
            compare(testSupport.scalar("SELECT group_concat(type || ':' || value, '|') FROM "
                                       + "(SELECT * FROM customer_contacts WHERE customer_id = 1 ORDER BY id)"),
                    "fax:1|phone:a@b.c")
        }

        // A refused save or delete keeps the dialog open with what was typed; the next try can succeed.
        function test_refusalKeepsTheDialog_data() {
            return [{ tag: "blank name", id: null, name: "   ", button: "saveButton", error: "Name is required" },
                    { tag: "save fails", id: null, name: "Kept", button: "saveButton", error: "Could not save the customer." },
                    { tag: "delete fails", id: 1, name: "Old", button: "deleteButton", error: "Could not delete the customer." }]
        }

        function test_refusalKeepsTheDialog(data) {
            show(data.id, data.name, [{ "type": "phone", "value": "42", "label": "" }])
            verify(testSupport.makeDatabaseReadOnly())
            mouseClick(part(data.button))
            verify(subject.visible)
            compare([part("errorLabel").text, subject.name, subject.contactsModel.count, savedSpy.count],
                    [data.error, data.name, 1, 0])
            verify(testSupport.makeDatabaseWritable())
            subject.name = "Kept"
            closed(subject, () => mouseClick(part(data.button)))
            compare(testSupport.scalar("SELECT COUNT(*) FROM customers WHERE name = 'Kept'"), data.id ? 0 : 1)
        }
    }
}
