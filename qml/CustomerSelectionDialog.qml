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

    title: qsTr("Select Customer")
    modal: true
    anchors.centerIn: parent
    width: 400
    height: 500
    standardButtons: Dialog.Cancel

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
            model: root.searching ? customerModel : null
            ScrollIndicator.vertical: ScrollIndicator {}

            delegate: ItemDelegate {
                required property int index

                width: ListView.view.width
                text: customerModel.nameAt(index)
                onClicked: {
                    root.customerSelected(customerModel.customerIdAt(index), customerModel.nameAt(index))
                    root.accept()
                }
            }
        }
    }
}
