import QtQuick
import QtQuick.Controls
import QtTest
import QuilloQml

// Customers and tasks meeting inside a real home page: picking a customer for a task through the
// selection dialog, and opening a customer's task from the customer dialog.
Item {
    id: root
    width: 1300
    height: 700

    StackView {
        id: stack
        anchors.fill: parent
    }

    Component {
        id: homeComponent
        HomePage {
            stackView: stack
        }
    }

    TestCase {
        name: "CustomerTasks"
        when: windowShown

        property var home: null
        property int customerId: -1

        function initTestCase() {
            verify(testSupport.signIn("alice") > 0)
            verify(customerService.createCustomer("Acme", "", [{ "type": "phone", "value": "555", "label": "" }]))
            verify(customerService.createCustomer("Bravo", "", []))
            customerId = testSupport.scalar("SELECT id FROM customers WHERE name = 'Acme'")
        }

        function init() {
            verify(testSupport.exec("DELETE FROM tasks"))
            stack.clear()
            stack.push(homeComponent)
            tryVerify(() => !stack.busy)
            home = stack.currentItem
            waitForRendering(home)
        }

        function part(parent, name) {
            const item = findChild(parent, name)
            verify(item, name)
            return item
        }

        function typeText(text) {
            for (const c of text)
                keyClick(c)
        }

        function test_pickCustomerForNewTask() {
            customerService.filterName = "Bravo"
            const taskDialog = part(home, "taskDialog")
            home.forceOpenTask(0, "2030-05-06 07:08")
            tryVerify(() => taskDialog.opened)
            mouseClick(part(taskDialog, "customerField"))
            const selection = part(taskDialog, "customerSelectionDialog")
            const list = part(selection, "resultList")
            tryVerify(() => selection.opened && part(selection, "searchField").activeFocus)
            compare(customerService.filterName, "", "opening clears the directory's filter")

            // Results show from the third character on.
            typeText(" ac")
            compare([list.count, customerService.filterName], [0, ""])
            typeText("m")
            compare(customerService.filterName, "acm")
            tryCompare(list, "count", 1)
            keyClick(Qt.Key_Backspace)
            compare([list.count, customerService.filterName], [0, ""])
            typeText("m")
            tryCompare(list, "count", 1)
            list.forceLayout()
            mouseClick(list.itemAtIndex(0))
            tryVerify(() => !selection.visible)
            compare(customerService.filterName, "", "closing clears the filter too")
            compare(part(selection, "searchField").text, "")
            compare([part(taskDialog, "customerField").text, taskDialog.selectedCustomerId], ["Acme", customerId])

            part(taskDialog, "taskNameField").text = "Call back"
            mouseClick(part(taskDialog, "taskSaveButton"))
            tryVerify(() => !taskDialog.visible)
            compare(testSupport.scalar("SELECT customer_id FROM tasks WHERE name = 'Call back'"), customerId)
        }

        function test_openTaskFromCustomerDialog() {
            verify(taskService.createTask("Visit", new Date(2030, 4, 6, 7, 8), false, 1, customerId, ""))
            keyClick(Qt.Key_3, Qt.AltModifier)
            const page = part(home, "customersPage")
            tryVerify(() => page.visible)
            page.selectedRow = customerModel.rowForId(customerId)
            page.editSelectedTask()
            const customerDialog = part(page, "customerDialog")
            tryVerify(() => customerDialog.opened)
            mouseClick(customerDialog.header.itemAt(1))
            const tasks = part(customerDialog, "taskList")
            tryCompare(tasks, "count", 1)
            tasks.forceLayout()
            mouseClick(tasks.itemAtIndex(0))

            const taskDialog = part(home, "taskDialog")
            tryVerify(() => taskDialog.opened)
            waitForRendering(taskDialog.contentItem)
            compare(part(taskDialog, "customerField").text, "Acme")
            verify(part(taskDialog, "detachCustomerButton").visible)
            verify(!part(taskDialog, "openCustomerButton").visible, "no way to stack the customer dialog on itself")
            verify(customerDialog.visible, "the customer dialog waits below")

            // Return saves the task above, not the customer below; the edit shows up in the customer's list.
            part(taskDialog, "taskNameField").selectAll()
            typeText("Visit again")
            keyClick(Qt.Key_Return)
            tryVerify(() => !taskDialog.visible)
            verify(customerDialog.visible)
            compare(customerDialog.customerTasks[0].name, "Visit again")
            compare(part(home, "homeTabBar").currentIndex, 2, "the tab stays on customers")
        }
    }
}
