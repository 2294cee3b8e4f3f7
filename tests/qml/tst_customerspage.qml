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

    SignalSpy {
        id: countsSpy
        target: customerService
        signalName: "countsChanged"
    }

    TestCase {
        name: "CustomersPage"
        when: windowShown

        property var page: null

        function initTestCase() {
            verify(testSupport.signIn("alice") > 0)
        }

        function init() {
            testSupport.exec("DELETE FROM customer_contacts")
            testSupport.exec("DELETE FROM customers")
            customerService.filterName = ""
            customerService.pageSize = 10
            customerService.sort(4, Qt.DescendingOrder)
        }

        // Shows the page over customers "Customer 01" to "Customer <count>" (ids 1 to count, created a
        // day apart, notes "notes <id>") and the given contacts.
        function openPage(count, contacts) {
            verify(testSupport.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + count
                                    + ") INSERT INTO customers (id, user_id, name, notes, create_at) SELECT i, 1, "
                                    + "printf('Customer %02d', i), 'notes ' || i, date('2026-01-01', '+' || i || ' days') FROM n"))
            verify(testSupport.exec("INSERT INTO customer_contacts (customer_id, type, value, label) VALUES " + contacts))
            page = createTemporaryObject(pageComponent, window, { "stackView": stack })
            waitForRendering(page)
        }

        function child(name) {
            const found = findChild(page, name)
            verify(found, name)
            return found
        }

        function cell(viewName, column, row) {
            child(viewName).forceLayout()
            return child(viewName).itemAtCell(Qt.point(column, row))
        }

        function arrowOf(column) {
            const arrow = findChild(cell("header", column, 0), "sortArrow")
            return arrow.visible ? arrow.text : ""
        }

        function test_searchWhileTyping() {
            openPage(12, "(3, 'phone', '+44 777', '')")
            mouseClick(child("searchField"))
            countsSpy.clear()
            keyClick("7")
            keyClick("7")
            compare(countsSpy.count, 2, "one reload per character")
            compare([customerService.filterName, customerModel.rowCountQml(), customerModel.nameAt(0)], ["77", 1, "Customer 03"])
            keyClick(" ")
            compare(countsSpy.count, 2, "a trailing blank changes nothing")

            mouseClick(child("clearButton"))
            compare([child("searchField").text, customerService.totalCount], ["", 12])
            // The field shows the filter a later page finds in force.
            customerService.filterName = "Customer 1"
            compare([child("searchField").text, customerService.totalCount], ["Customer 1", 3])
        }

        function test_sortAndPage() {
            openPage(25, "(1, 'phone', '1', '')")
            compare([arrowOf(4), arrowOf(1), child("pageLabel").text, child("totalLabel").text], ["▼", "", "Page 1 / 3", "Total: 25"])
            mouseClick(cell("header", 1, 0))
            compare([customerService.sortColumn, customerService.sortOrder, arrowOf(1), arrowOf(4)], [1, Qt.AscendingOrder, "▲", ""])
            compare(customerModel.nameAt(0), "Customer 01")
            mouseClick(cell("header", 1, 0))
            compare([customerService.sortOrder, arrowOf(1), customerModel.nameAt(0)], [Qt.DescendingOrder, "▼", "Customer 25"])
            mouseClick(cell("header", 0, 0))
            compare([customerService.sortColumn, customerService.sortOrder, arrowOf(0)], [0, Qt.AscendingOrder, "▲"])

            verify(!child("prevButton").enabled)
            mouseClick(child("nextButton"))
            mouseClick(child("nextButton"))
            compare([child("pageLabel").text, customerModel.customerIdAt(0), customerModel.rowCountQml()], ["Page 3 / 3", 21, 5])
            verify(!child("nextButton").enabled)
            mouseClick(child("prevButton"))
            compare(customerService.currentPage, 2)
            compare(child("pageSizeBox").currentText, "10")
            child("pageSizeBox").activated(1)
            compare([customerService.pageSize, child("pageLabel").text], [25, "Page 1 / 1"])
        }

        function test_selectEditDelete() {
            openPage(3, "(2, 'email', 'b@c.d', 'work')")
            const dialog = child("customerDialog")
            verify(!child("editButton").enabled)
            keyClick(Qt.Key_E, Qt.ControlModifier)
            keyClick(Qt.Key_Delete)
            verify(!dialog.visible)
            compare(customerService.totalCount, 3, "nothing is selected")

            mouseClick(cell("table", 1, 2))
            compare(page.selectedRow, 2)
            keyClick(Qt.Key_Up)
            compare(page.selectedRow, 1)
            keyClick(Qt.Key_E, Qt.ControlModifier)
            tryVerify(() => dialog.opened)
            compare([dialog.id, dialog.name, dialog.notes], [2, "Customer 02", "notes 2"])
            compare([dialog.contactsModel.count, dialog.contactsModel.get(0).value], [1, "b@c.d"])
            dialog.close()
            tryVerify(() => !dialog.visible)

            keyClick(Qt.Key_Delete)
            compare([page.selectedRow, customerService.totalCount], [-1, 2])
            compare(testSupport.scalar("SELECT COUNT(*) FROM customers WHERE id = 2"), 0)
        }
    }
}
