pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QuilloQml

// Picks a customer by a search over the customer directory.
Dialog {
    id: root

    property int minSearchLength: 3

    readonly property bool searching: searchField.text.trim().length >= minSearchLength

    signal customerSelected(int id, string name)

    function choose(row) {
        root.customerSelected(customerModel.customerIdAt(row), customerModel.nameAt(row))
        root.accept()
    }

    // Down (or Return) in the search field goes on to the results, where Up and Down move and Return
    // or Space chooses.
    function enterResults() {
        if (resultList.count === 0)
            return
        resultList.currentIndex = 0
        resultList.forceActiveFocus(Qt.TabFocusReason)
    }

    title: qsTr("Select Customer")
    modal: true
    anchors.centerIn: parent
    width: 400
    height: 500
    standardButtons: Dialog.Cancel
    footer: DialogButtons {}

    // The search drives the shared customer service, so the directory's filter is left empty.
    onAboutToShow: {
        searchField.clear()
        customerService.filterName = ""
    }
    onOpened: searchField.forceActiveFocus()
    onClosed: searchField.clear()

    ColumnLayout {
        anchors.fill: parent
        spacing: 10

        TextField {
            id: searchField
            objectName: "searchField"
            Accessible.name: placeholderText
            Layout.fillWidth: true
            placeholderText: qsTr("Search by name min 3 chars...")
            maximumLength: InputLimits.searchLength
            focus: true
            Keys.onDownPressed: root.enterResults()
            Keys.onReturnPressed: root.enterResults()
            Keys.onEnterPressed: root.enterResults()
            onTextChanged: {
                const trimmed = text.trim()
                if (trimmed.length >= root.minSearchLength) {
                    customerService.filterName = trimmed
                    customerService.loadPage(1)
                } else {
                    customerService.filterName = ""
                }
            }
        }

        ListView {
            id: resultList
            objectName: "resultList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            activeFocusOnTab: true
            keyNavigationEnabled: true
            Accessible.role: Accessible.List
            Accessible.name: qsTr("Customers found")
            model: root.searching ? customerModel : null
            ScrollIndicator.vertical: ScrollIndicator {}

            delegate: ItemDelegate {
                id: result
                required property int index

                width: ListView.view.width
                text: customerModel.nameAt(index)
                // The current entry holds the focus while the list has it, so a reader follows Up and Down.
                focus: result.ListView.isCurrentItem
                highlighted: result.ListView.isCurrentItem && resultList.activeFocus
                Accessible.role: Accessible.ListItem
                Accessible.selected: result.ListView.isCurrentItem
                Keys.onReturnPressed: root.choose(result.index)
                Keys.onEnterPressed: root.choose(result.index)
                onClicked: root.choose(result.index)
            }
        }
    }
}
