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
            testSupport.exec("INSERT INTO customers (id, user_id, name, notes) VALUES (1, 1, 'Old', '')")
            dialog = createTemporaryObject(dialogComponent, window)
            savedSpy.clear()
            savedSpy.target = dialog
        }

        function cleanup() {
            testSupport.makeDatabaseWritable()
        }

        function child(name, parent) {
            const found = findChild(parent || dialog.contentItem, name)
            verify(found, name)
            return found
        }

        function contactRow(index) {
            child("contactList").forceLayout()
            return child("contactList").itemAtIndex(index)
        }

        function typeInto(field, text) {
            field.forceActiveFocus()
            for (const c of text)
                keyClick(c)
        }

        function show(id, name, contacts) {
            dialog.resetAndShow(id, name, "some notes", contacts)
            tryVerify(() => dialog.opened && child("nameField").activeFocus)
            // Buttons shown only while editing take their places at the next polish.
            waitForRendering(dialog.contentItem)
        }

        function test_notesStopAtTheirLimit() {
            show(1, "Old", [])
            dialog.notes = "o".repeat(100001) // as a paste would
            compare(dialog.notes.length, 100000)
        }

        function test_editContacts() {
            show(1, "Old", [{ "type": "fax", "value": "1", "label": "x" }, { "type": "", "value": "2" },
                            { "type": "email", "value": "3", "label": "" }])
            compare(dialog.title, "Edit Customer")
            compare([child("typeBox", contactRow(0)).currentText, child("typeBox", contactRow(1)).currentText], ["phone", "phone"])
            mouseClick(child("removeButton", contactRow(2)))
            mouseClick(child("addContactButton"))
            mouseClick(child("addContactButton"))
            child("typeBox", contactRow(2)).currentIndex = 1
            child("typeBox", contactRow(2)).activated(1)
            typeInto(child("valueField", contactRow(2)), "a@b.c")
            typeInto(child("labelField", contactRow(2)), "desk")
            typeInto(child("valueField", contactRow(3)), "   ")
            child("nameField").selectAll()
            typeInto(child("nameField"), " New ")

            keyClick(Qt.Key_Return)

            tryVerify(() => !dialog.visible)
            compare([savedSpy.count, savedSpy.signalArguments[0][0], savedSpy.signalArguments[0][1]], [1, 1, " New "])
            compare(testSupport.scalar("SELECT name || '/' || notes FROM customers WHERE id = 1"), "New/some notes")
            // An unknown type is kept although the box shows "phone"; a blank value is left out.
            compare(testSupport.scalar("SELECT group_concat(type || ':' || value || ':' || ifnull(label, ''), '|') FROM "
                                       + "(SELECT * FROM customer_contacts WHERE customer_id = 1 ORDER BY id)"),
                    "fax:1:x|phone:2:|email:a@b.c:desk")
        }

        // A refused save or delete keeps the dialog open with what was typed; the next try can succeed.
        function test_refusalKeepsTheDialog_data() {
            return [{ tag: "blank name", id: null, name: "   ", button: "saveButton", error: "Name is required" },
                    { tag: "save fails", id: null, name: "Kept", button: "saveButton", error: "Could not save the customer." },
                    { tag: "delete fails", id: 1, name: "Old", button: "deleteButton", error: "Could not delete the customer." }]
        }

        function test_refusalKeepsTheDialog(data) {
            show(data.id, data.name, [{ "type": "phone", "value": "42", "label": "" }])
            compare([dialog.header.itemAt(1).enabled, child("deleteButton").visible], [!!data.id, !!data.id],
                    "tasks and delete wait for a saved customer")
            verify(testSupport.makeDatabaseReadOnly())
            mouseClick(child(data.button))
            compare(child("errorLabel").text, data.error)
            verify(dialog.visible)
            compare([dialog.name, dialog.notes, dialog.contactsModel.count, savedSpy.count], [data.name, "some notes", 1, 0])

            verify(testSupport.makeDatabaseWritable())
            dialog.name = "Kept"
            mouseClick(child(data.button))
            tryVerify(() => !dialog.visible)
            compare(savedSpy.count, data.id ? 0 : 1)
            compare(testSupport.scalar("SELECT COUNT(*) FROM customers WHERE name = 'Kept'"), data.id ? 0 : 1)
            compare(testSupport.scalar("SELECT COUNT(*) FROM customers WHERE id = 1"), data.id ? 0 : 1)
        }
    }
}
