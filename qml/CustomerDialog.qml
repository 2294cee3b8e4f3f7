pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QuilloQml

// Creates or edits one customer with its contacts, deletes it, and lists its tasks.
Dialog {
    id: root

    property var id: null
    property alias name: nameField.text
    property alias notes: notesArea.text
    property ListModel contactsModel: ListModel {}
    property var customerTasks: []
    property var homePageRef: null

    readonly property var contactTypes: ["phone", "email", "address", "website", "other"]

    signal customerSaved(var id, string name)

    function resetAndShow(idVal, nameVal, notesVal, contactsArray) {
        root.id = idVal
        root.name = nameVal
        root.notes = notesVal
        contactsModel.clear()
        for (const contact of contactsArray || [])
            contactsModel.append({
                "type": contact.type || "phone",
                "value": contact.value || "",
                "label": contact.label || ""
            })
        // Opening reloads the tasks itself; a dialog that is already open needs it here.
        if (root.visible)
            reloadCustomerTasks()
        open()
    }

    function reloadCustomerTasks() {
        customerTasks = root.id !== null ? taskService.tasksForCustomer(root.id) : []
    }

    function submit() {
        errorLabel.text = ""
        if (root.name.trim() === "") {
            errorLabel.text = qsTr("Name is required")
            return
        }
        const contacts = []
        for (let i = 0; i < contactsModel.count; ++i) {
            const row = contactsModel.get(i)
            if (row.value.trim() !== "")
                contacts.push({ "type": row.type, "value": row.value, "label": row.label })
        }
        const saved = root.id !== null
                ? customerService.updateCustomer(root.id, root.name, root.notes, contacts)
                : customerService.createCustomer(root.name, root.notes, contacts)
        if (!saved) {
            errorLabel.text = [qsTr("Could not save the customer."), connectionKeeper.whyFailed()].join(" ").trim()
            return
        }
        customerSaved(root.id, root.name)
        close()
    }

    function deleteCustomer() {
        errorLabel.text = ""
        if (!undoService.deleteCustomer(root.id)) {
            errorLabel.text = [qsTr("Could not delete the customer."), connectionKeeper.whyFailed()].join(" ").trim()
            return
        }
        close()
    }

    function openTaskDialog(taskId) {
        if (homePageRef)
            homePageRef.forceOpenTask(taskId, null, false)
    }

    title: root.id !== null ? qsTr("Edit Customer") : qsTr("New Customer")
    modal: true
    focus: true
    anchors.centerIn: parent
    contentWidth: 700
    contentHeight: 500

    onAboutToShow: {
        tabBar.currentIndex = 0
        reloadCustomerTasks()
    }
    onOpened: nameField.forceActiveFocus()
    onClosed: errorLabel.text = ""

    Connections {
        target: taskService
        function onTasksChanged() {
            if (root.visible && root.id !== null)
                root.reloadCustomerTasks()
        }
    }

    header: TabBar {
        id: tabBar
        font.pixelSize: 16
        Accessible.name: qsTr("Sections")

        TabButton {
            text: root.title
        }
        TabButton {
            text: qsTr("Tasks")
            enabled: root.id !== null
        }
    }

    StackLayout {
        anchors.fill: parent
        currentIndex: tabBar.currentIndex

        ColumnLayout {
            spacing: 10

            // Inside the dialog, so that it stays blocked while a dialog opened above this one is shown.
            Shortcut {
                sequences: ["Return"]
                enabled: root.visible
                onActivated: root.submit()
            }

            TextField {
                id: nameField
                objectName: "nameField"
                Accessible.name: placeholderText
                Layout.fillWidth: true
                placeholderText: qsTr("Name")
                maximumLength: InputLimits.nameLength
            }

            ScrollView {
                Layout.fillWidth: true
                Layout.preferredHeight: 150
                clip: true

                NotesArea {
                    id: notesArea
                    objectName: "notesArea"
                }
            }

            RowLayout {
                Layout.fillWidth: true

                Label {
                    text: qsTr("Contacts")
                    font.bold: true
                    Layout.fillWidth: true
                }
                Button {
                    objectName: "addContactButton"
                    text: qsTr("Add")
                    enabled: root.contactsModel.count < InputLimits.contactsPerCustomer
                    onClicked: root.contactsModel.append({ "type": "phone", "value": "", "label": "" })
                }
            }

            ListView {
                id: contactList
                objectName: "contactList"
                Layout.fillWidth: true
                Layout.fillHeight: true
                clip: true
                spacing: 5
                model: root.contactsModel
                ScrollBar.vertical: ScrollBar {}

                delegate: RowLayout {
                    id: contactRow

                    required property int index
                    required property string type
                    required property string value
                    required property string label

                    width: ListView.view.width

                    NamedComboBox {
                        objectName: "typeBox"
                        Accessible.name: qsTr("Contact type")
                        model: root.contactTypes
                        currentIndex: Math.max(0, root.contactTypes.indexOf(contactRow.type))
                        onActivated: root.contactsModel.setProperty(contactRow.index, "type", currentText)
                    }
                    TextField {
                        objectName: "valueField"
                        Accessible.name: placeholderText
                        Layout.fillWidth: true
                        placeholderText: qsTr("Value")
                        maximumLength: InputLimits.contactFieldLength
                        text: contactRow.value
                        onTextEdited: root.contactsModel.setProperty(contactRow.index, "value", text)
                    }
                    TextField {
                        objectName: "labelField"
                        Accessible.name: placeholderText
                        Layout.preferredWidth: 180
                        placeholderText: qsTr("Label")
                        maximumLength: InputLimits.contactFieldLength
                        text: contactRow.label
                        onTextEdited: root.contactsModel.setProperty(contactRow.index, "label", text)
                    }
                    Button {
                        objectName: "removeButton"
                        text: qsTr("Remove")
                        onClicked: root.contactsModel.remove(contactRow.index)
                    }
                }
            }

            Label {
                id: errorLabel
                objectName: "errorLabel"

                Announcement {
                    text: errorLabel.text
                }
                color: "tomato"
                Layout.fillWidth: true
                wrapMode: Text.WordWrap
            }

            RowLayout {
                Button {
                    objectName: "saveButton"
                    text: qsTr("Save")
                    onClicked: root.submit()
                }
                Button {
                    objectName: "closeButton"
                    text: qsTr("Close")
                    onClicked: root.close()
                }
                Button {
                    objectName: "deleteButton"
                    text: qsTr("Delete")
                    visible: root.id !== null
                    onClicked: root.deleteCustomer()
                }
            }
        }

        ListView {
            id: taskList
            objectName: "taskList"
            clip: true
            model: root.customerTasks
            ScrollIndicator.vertical: ScrollIndicator {}

            delegate: Rectangle {
                id: taskEntry

                required property var modelData

                width: ListView.view.width
                height: 36
                color: "#5f5f5f"
                border.width: 1
                border.color: modelData.active ? "#721675" : "#424242"

                RowLayout {
                    anchors.fill: parent
                    anchors.leftMargin: 10
                    anchors.rightMargin: 10
                    spacing: 12

                    Label {
                        Layout.preferredWidth: 150
                        elide: Text.ElideRight
                        text: Qt.formatDateTime(taskEntry.modelData.expireAt, "yyyy-MM-dd HH:mm")
                    }
                    Label {
                        Layout.fillWidth: true
                        elide: Text.ElideRight
                        text: taskEntry.modelData.name
                    }
                }

                TapHandler {
                    onTapped: root.openTaskDialog(taskEntry.modelData.taskId)
                }
            }
        }
    }
}
