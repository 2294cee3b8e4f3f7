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
        property int userId: -1

        function initTestCase() {
            userId = testSupport.signIn("alice")
            verify(userId > 0)
        }

        function init() {
            testSupport.exec("DELETE FROM customer_contacts")
            testSupport.exec("DELETE FROM customers")
            customerService.filterName = ""
            customerService.pageSize = 10
            customerService.sort(4, Qt.DescendingOrder)
        }

        function createPage() {
            page = createTemporaryObject(pageComponent, window, { "stackView": stack })
            verify(page)
            waitForRendering(page)
            return page
        }

        // Customers "Customer 01" to "Customer <count>", ids 1 to count, created a day apart.
        function addCustomers(count) {
            for (let i = 1; i <= count; ++i) {
                const name = "Customer " + (i < 10 ? "0" : "") + i
                verify(testSupport.exec("INSERT INTO customers (id, user_id, name, notes, create_at) VALUES ("
                                        + i + ", " + userId + ", '" + name + "', 'notes " + i + "', date('2026-01-01', '+"
                                        + i + " days'))"))
            }
        }

        function child(name) {
            const found = findChild(page, name)
            verify(found, name)
            return found
        }

        function headerCell(column) {
            const header = child("header")
            header.forceLayout()
            return header.itemAtCell(Qt.point(column, 0))
        }

        function arrowOf(column) {
            const arrow = findChild(headerCell(column), "sortArrow")
            return arrow.visible ? arrow.text : ""
        }

        function tableCell(column, row) {
            const table = child("table")
            table.forceLayout()
            return table.itemAtCell(Qt.point(column, row))
        }

        function typeText(text) {
            for (const c of text)
                keyClick(c)
        }

        function test_emptyDirectory() {
            createPage()
            compare(child("pageLabel").text, "Page 1 / 1")
            compare(child("totalLabel").text, "Total: 0")
            verify(!child("prevButton").enabled)
            verify(!child("nextButton").enabled)
            verify(!child("editButton").enabled)
            verify(!child("deleteButton").enabled)
            keyClick(Qt.Key_E, Qt.ControlModifier)
            keyClick(Qt.Key_Delete)
            verify(!child("customerDialog").visible)
        }

        function test_searchWhileTyping() {
            addCustomers(12)
            testSupport.exec("INSERT INTO customer_contacts (customer_id, type, value, label) VALUES (3, 'phone', '+44 777', '')")
            createPage()
            compare(customerService.totalCount, 12)
            mouseClick(child("searchField"))
            countsSpy.clear()

            typeText("77")
            compare(countsSpy.count, 2, "one reload per character")
            compare(customerService.filterName, "77")
            compare(customerModel.rowCountQml(), 1)
            compare(customerModel.nameAt(0), "Customer 03")

            typeText(" ")
            compare(countsSpy.count, 2, "a trailing blank changes nothing")

            mouseClick(child("clearButton"))
            compare(child("searchField").text, "")
            compare(customerService.filterName, "")
            compare(customerService.totalCount, 12)

            // The field shows the filter a later page finds in force.
            customerService.filterName = "Customer 1"
            compare(child("searchField").text, "Customer 1")
            compare(customerService.totalCount, 3)
        }

        function test_headerSortArrows() {
            addCustomers(3)
            createPage()
            compare(arrowOf(4), "▼")
            compare(arrowOf(1), "")

            mouseClick(headerCell(1))
            compare(customerService.sortColumn, 1)
            compare(customerService.sortOrder, Qt.AscendingOrder)
            compare(arrowOf(1), "▲")
            compare(arrowOf(4), "")
            compare(headerCell(1).color, Qt.color("#666"))
            compare(headerCell(0).color, Qt.color("#444"))
            compare(customerModel.nameAt(0), "Customer 01")

            mouseClick(headerCell(1))
            compare(customerService.sortOrder, Qt.DescendingOrder)
            compare(arrowOf(1), "▼")
            compare(customerModel.nameAt(0), "Customer 03")

            mouseClick(headerCell(0))
            compare(customerService.sortColumn, 0)
            compare(customerService.sortOrder, Qt.AscendingOrder)
            compare(arrowOf(0), "▲")
            compare(customerModel.customerIdAt(0), 1)
        }

        function test_pager() {
            addCustomers(25)
            createPage()
            compare(child("pageLabel").text, "Page 1 / 3")
            compare(child("totalLabel").text, "Total: 25")
            verify(!child("prevButton").enabled)

            mouseClick(child("nextButton"))
            mouseClick(child("nextButton"))
            compare(child("pageLabel").text, "Page 3 / 3")
            verify(!child("nextButton").enabled)
            compare(customerModel.rowCountQml(), 5)
            mouseClick(child("prevButton"))
            compare(customerService.currentPage, 2)

            const sizes = child("pageSizeBox")
            compare(sizes.currentText, "10")
            sizes.activated(1)
            compare(customerService.pageSize, 25)
            compare(customerService.currentPage, 1)
            compare(child("pageLabel").text, "Page 1 / 1")

            // A page size the box does not offer shows its second entry; the table keeps the size.
            customerService.pageSize = 7
            customerService.loadPage(1)
            compare(sizes.currentText, "25")
            compare(customerModel.rowCountQml(), 7)
            compare(child("pageLabel").text, "Page 1 / 4")
        }

        function test_selectEditDelete() {
            addCustomers(3)
            testSupport.exec("INSERT INTO customer_contacts (customer_id, type, value, label) VALUES (2, 'email', 'b@c.d', 'work')")
            createPage()
            const dialog = child("customerDialog")

            mouseClick(tableCell(1, 1))
            compare(page.selectedRow, 1)
            compare(tableCell(0, 1).color, Qt.color("#721675"))
            verify(child("editButton").enabled)

            keyClick(Qt.Key_Down)
            compare(page.selectedRow, 2)
            keyClick(Qt.Key_Up)
            compare(page.selectedRow, 1)

            keyClick(Qt.Key_E, Qt.ControlModifier)
            tryVerify(() => dialog.opened)
            compare(dialog.id, 2)
            compare(dialog.name, "Customer 02")
            compare(dialog.notes, "notes 2")
            compare(dialog.contactsModel.count, 1)
            compare(dialog.contactsModel.get(0).value, "b@c.d")

            dialog.close()
            tryVerify(() => !dialog.visible)

            mouseClick(child("newButton"))
            tryVerify(() => dialog.opened)
            compare(dialog.id, null)
            compare(dialog.name, "")
            compare(dialog.contactsModel.count, 0)
            compare(dialog.title, "New Customer")
            dialog.close()
            tryVerify(() => !dialog.visible)

            keyClick(Qt.Key_Delete)
            compare(page.selectedRow, -1)
            compare(customerService.totalCount, 2)
            compare(testSupport.scalar("SELECT COUNT(*) FROM customers WHERE id = 2"), 0)
            verify(!child("deleteButton").enabled)
        }
    }
}
