pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QuilloQml

// The customer directory: search, a sortable table of one page of customers, and a pager.
Item {
    id: root

    required property StackView stackView
    property int selectedRow: -1
    property var homePageRef: null
    // The selection belongs to this customer, not to a row number (-1: none).
    property int selectedCustomerId: -1

    readonly property var pageSizes: [10, 25, 50, 100]
    // Counts the reloads of the table, so that what is read out of a row follows its customer.
    property int modelRevision: 0
    readonly property string selectedSummary: root.selectedRow >= 0 && root.modelRevision >= 0
                                              ? customerModel.summaryAt(root.selectedRow) : ""

    // The three names below are also what the embedded GlobalShortcut calls for Ctrl+N, Ctrl+E, Delete.
    function openNewTask() {
        customerDialog.id = null
        customerDialog.name = ""
        customerDialog.notes = ""
        customerDialog.contactsModel.clear()
        customerDialog.open()
    }

    // Opens the customer as stored now, which may be newer than the row shown.
    function editSelectedTask() {
        if (selectedRow < 0)
            return
        const customer = customerService.customerById(customerModel.customerIdAt(selectedRow))
        if (customer.id === undefined) {
            customerService.loadPage(customerService.currentPage) // removed meanwhile: show the table as it is
            return
        }
        customerDialog.resetAndShow(customer.id, customer.name, customer.notes, customer.contacts)
    }

    function deleteSelectedTask() {
        if (selectedRow < 0)
            return
        const id = customerModel.customerIdAt(selectedRow)
        if (id > 0)
            undoService.deleteCustomer(id)
        selectedRow = -1
    }

    Component.onCompleted: customerService.loadPage(1)

    onSelectedRowChanged: root.selectedCustomerId = customerModel.customerIdAt(root.selectedRow)

    // Whenever the table is read again the highlight stays with its customer while it is shown and
    // goes when it is not.
    Connections {
        target: customerModel

        function onModelReset() {
            root.modelRevision++
            root.selectedRow = customerModel.rowForId(root.selectedCustomerId)
        }

        function onDataChanged() {
            root.modelRevision++
            root.selectedRow = customerModel.rowForId(root.selectedCustomerId)
        }
    }

    GlobalShortcut {
        condition: true
        tService: customerService
        tModel: customerModel
        tableView: table
        searchField: searchField
        currentRow: root.selectedRow
        onSelectedRowRequested: row => root.selectedRow = row
    }

    CustomerDialog {
        id: customerDialog
        objectName: "customerDialog"
        homePageRef: root.homePageRef
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 12
        spacing: 10

        RowLayout {
            Layout.fillWidth: true

            TextField {
                id: searchField
                objectName: "searchField"
                Accessible.name: placeholderText
                Layout.preferredWidth: 400
                placeholderText: qsTr("Search by id/name/Contact...")
                maximumLength: InputLimits.searchLength
                text: customerService.filterName
                onTextChanged: customerService.filterName = text
            }
            Button {
                objectName: "clearButton"
                text: qsTr("Clear")
                onClicked: {
                    searchField.clear()
                    customerService.filterName = ""
                }
            }
            Label {
                text: "   "
            }
            Button {
                objectName: "newButton"
                text: qsTr("New")
                onClicked: root.openNewTask()
            }
            Button {
                objectName: "editButton"
                text: qsTr("Edit")
                enabled: root.selectedRow >= 0
                onClicked: root.editSelectedTask()
            }
            Button {
                objectName: "deleteButton"
                text: qsTr("Delete")
                enabled: root.selectedRow >= 0
                onClicked: root.deleteSelectedTask()
            }
            Item {
                Layout.fillWidth: true
            }
            Label {
                text: "   "
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 0

            HorizontalHeaderView {
                id: header
                objectName: "header"
                // The cells' height: the layout does not follow the view's own once its cells are loaded.
                Layout.preferredHeight: 40
                Layout.fillWidth: true
                syncView: table
                model: customerModel
                clip: true

                delegate: SortHeaderCell {
                    service: customerService
                }
            }

            // Says which customer is selected whenever the selection moves.
            Announcement {
                objectName: "selectionAnnouncement"
                text: root.selectedSummary
            }

            TableView {
                id: table
                objectName: "table"
                Layout.fillWidth: true
                Layout.fillHeight: true
                clip: true
                model: customerModel
                columnSpacing: 1
                rowSpacing: 1
                columnWidthProvider: column => [70, Math.max(250, table.width - 540), 120, 220, 120][column]
                rowHeightProvider: () => 36
                onWidthChanged: forceLayout()
                // One key stop; Up and Down move the selection, which is read out.
                activeFocusOnTab: true
                Accessible.role: Accessible.Table
                Accessible.name: qsTr("Customers")
                Accessible.description: root.selectedSummary
                ScrollBar.vertical: ScrollBar {}
                ScrollBar.horizontal: ScrollBar {}

                delegate: Rectangle {
                    id: cell

                    required property int row
                    required property int column
                    required property var display

                    color: row === root.selectedRow ? "#721675" : (row % 2 === 0 ? "#1b1b1b" : "#161616")
                    border.color: cell.row === root.selectedRow && table.activeFocus ? "white" : "#2a2a2a"
                    // The first cell stands for its row, read as one sentence; the others stay out of the tree.
                    Accessible.role: cell.column === 0 ? Accessible.Row : Accessible.NoRole
                    Accessible.ignored: cell.column !== 0
                    Accessible.name: cell.column === 0 && cell.display !== undefined ? customerModel.summaryAt(cell.row) : ""
                    Accessible.selected: cell.row === root.selectedRow

                    Label {
                        anchors.fill: parent
                        anchors.margins: 10
                        verticalAlignment: Text.AlignVCenter
                        elide: Text.ElideRight
                        color: "white"
                        text: cell.display === undefined ? "" : cell.display
                        Accessible.ignored: true
                    }

                    TapHandler {
                        enabled: !customerDialog.visible
                        onTapped: root.selectedRow = cell.row
                    }
                }
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 10

            Button {
                objectName: "prevButton"
                text: qsTr("Prev")
                enabled: customerService.currentPage > 1
                onClicked: customerService.loadPage(customerService.currentPage - 1)
            }
            Label {
                objectName: "pageLabel"
                color: "white"
                text: qsTr("Page ") + customerService.currentPage + " / " + customerService.totalPages
                      + (customerService.countCapped ? "+" : "")
            }
            Button {
                objectName: "nextButton"
                text: qsTr("Next")
                enabled: customerService.currentPage < customerService.totalPages
                onClicked: customerService.loadPage(customerService.currentPage + 1)
            }
            Label {
                objectName: "totalLabel"
                color: "#bbbbbb"
                font.pixelSize: 14
                text: qsTr("Total: ") + customerService.totalCount + (customerService.countCapped ? "+" : "")
            }
            Item {
                Layout.fillWidth: true
            }
            NamedComboBox {
                objectName: "pageSizeBox"
                Accessible.name: qsTr("Customers per page")
                model: root.pageSizes
                currentIndex: root.pageSizes.indexOf(customerService.pageSize) >= 0
                              ? root.pageSizes.indexOf(customerService.pageSize) : 1
                onActivated: index => {
                    customerService.pageSize = root.pageSizes[index]
                    customerService.loadPage(1)
                }
            }
        }
    }
}
