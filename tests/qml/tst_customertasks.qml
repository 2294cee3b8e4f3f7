import QtQuick
import QtQuick.Controls
import QuilloQml

// A customer picked for a new task through the selection dialog, then the task opened from the customer.
Item {
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

    PageTest {
        name: "CustomerTasks"

        function test_pickCustomerThenOpenItsTask() {
            verify(customerService.createCustomer("Acme", "", [{ "type": "phone", "value": "555", "label": "" }]))
            verify(customerService.createCustomer("Bravo", "", []))
            const acme = testSupport.scalar("SELECT id FROM customers WHERE name = 'Acme'")
            customerService.filterName = "Bravo"
            subject = stack.push(homeComponent)
            tryVerify(() => !stack.busy)
            const taskDialog = part("taskDialog")
            opened(taskDialog, () => subject.forceOpenTask(0, "2030-05-06 07:08"))
            mouseClick(part("customerField", taskDialog))
            const selection = part("customerSelectionDialog", taskDialog)
            const list = part("resultList", selection)
            tryVerify(() => selection.opened && part("searchField", selection).activeFocus)
            // Results show from the third character on; opening and closing clear the directory's filter.
            type(" ac")
            compare([list.count, customerService.filterName], [0, ""])
            type("m")
            tryCompare(list, "count", 1)
            closed(selection, () => mouseClick(entries(list)[0]))
            compare([customerService.filterName, part("customerField", taskDialog).text], ["", "Acme"])
            part("taskNameField", taskDialog).text = "Visit"
            closed(taskDialog, () => mouseClick(part("taskSaveButton", taskDialog)))
            compare(testSupport.scalar("SELECT customer_id FROM tasks WHERE name = 'Visit'"), acme)

            keyClick(Qt.Key_3, Qt.AltModifier)
            const page = part("customersPage")
            page.selectedRow = customerModel.rowForId(acme)
            const customerDialog = part("customerDialog", page)
            opened(customerDialog, () => page.editSelectedTask())
            mouseClick(customerDialog.header.itemAt(1))
            const tasks = part("taskList", customerDialog)
            tryCompare(tasks, "count", 1)
            opened(taskDialog, () => mouseClick(entries(tasks)[0]))
            // Return saves the task above, not the customer below; the edit shows up in the customer's list.
            part("taskNameField", taskDialog).selectAll()
            type("Visit again")
            closed(taskDialog, () => keyClick(Qt.Key_Return))
            verify(customerDialog.visible)
            compare(customerDialog.customerTasks[0].name, "Visit again")
        }
    }
}
