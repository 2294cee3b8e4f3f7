pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QuilloQml

// The form in which one task is created or edited.
Dialog {
    id: root

    property string editMode: "create"
    property int editingId: -1
    // The chosen expiry as a local date-time, or null.
    property var expireAtLocal: null
    property var selectedCustomerId: null
    property bool showCustomerButton: true
    // What a sync merge replaced in this task, until the user dismisses it.
    property string syncNotice: ""

    readonly property bool blocked: customerSelectionDialog.visible || customerDialog.visible
    readonly property string requiredMessage: qsTr("task name and expire date are required")

    signal taskSaved()

    function setExpiry(d) {
        root.expireAtLocal = d
        expireField.text = d ? Qt.formatDateTime(d, "yyyy-MM-dd HH:mm") : ""
        root.clearRequiredError()
    }

    // The "required" message goes once what it asked for is given.
    function clearRequiredError() {
        if (errorLabel.text === root.requiredMessage && nameField.text.trim() !== "" && root.expireAtLocal)
            errorLabel.text = ""
    }

    function setCustomer(id, name) {
        root.selectedCustomerId = id
        customerField.text = name
    }

    function resetForm() {
        root.editingId = -1
        nameField.text = ""
        notesArea.text = ""
        minutesField.text = ""
        levelSpin.value = 1
        doneBox.checked = false
        root.setExpiry(null)
        root.setCustomer(null, "")
        root.showCustomerButton = true
        errorLabel.text = ""
        root.syncNotice = ""
    }

    function openForCreate(expireDateTime = null) {
        root.editMode = "create"
        root.resetForm()
        const preset = expirePicker.parseDateTime(expireDateTime)
        if (preset)
            root.setExpiry(preset)
        root.open()
        nameField.forceActiveFocus()
    }

    function openForEdit(taskId, showCustomerButton = true) {
        const task = taskService.taskById(taskId)
        if (!task || task.taskId === undefined) {
            console.log("Task with id " + taskId + " not found")
            return
        }
        root.editMode = "edit"
        root.editingId = task.taskId
        nameField.text = task.name ?? ""
        notesArea.text = task.notes ?? ""
        minutesField.text = ""
        levelSpin.value = task.level || 1
        doneBox.checked = !!task.active
        root.setCustomer(task.customerId > 0 ? task.customerId : null, task.customerName ?? "")
        root.showCustomerButton = showCustomerButton
        const expiry = task.expireAt ? new Date(task.expireAt) : null
        root.setExpiry(expiry && !isNaN(expiry.getTime()) ? expiry : null)
        errorLabel.text = ""
        root.syncNotice = syncService.noticeFor(task.taskId)
        root.open()
        nameField.forceActiveFocus()
    }

    function save() {
        errorLabel.text = ""
        if (levelSpin.activeFocus)
            nameField.forceActiveFocus() // the spin box takes a typed value when it loses the focus
        root.addMinutes() // minutes typed but not yet applied count, as the Return key would apply them
        if (nameField.text.trim() === "" || !root.expireAtLocal) {
            errorLabel.text = root.requiredMessage
            return
        }
        const expire = root.expireAtLocal.toISOString()
        const customerId = root.selectedCustomerId ?? 0
        const saved = root.editMode === "edit"
            ? taskService.updateTask(root.editingId, nameField.text, doneBox.checked, expire, levelSpin.value,
                                     customerId, notesArea.text)
            : taskService.createTask(nameField.text, expire, doneBox.checked, levelSpin.value, customerId,
                                     notesArea.text)
        // A failed write keeps the form, so that nothing typed is lost.
        if (!saved) {
            errorLabel.text = [qsTr("Could not save the task."), connectionKeeper.whyFailed()].join(" ").trim()
            return
        }
        root.taskSaved()
        root.close()
    }

    function deleteTask() {
        if (!undoService.deleteTask(root.editingId)) {
            errorLabel.text = [qsTr("Could not delete the task."), connectionKeeper.whyFailed()].join(" ").trim()
            return
        }
        root.taskSaved()
        root.close()
    }

    function addMinutes() {
        const text = minutesField.text.trim()
        if (!/^\d+$/.test(text))
            return
        const base = expireField.text !== "" ? expirePicker.parseDateTime(expireField.text) : new Date()
        if (!base)
            return
        base.setSeconds(0, 0) // expiry moments are kept to the minute, as the field shows them
        // Applied once: the field empties, so leaving it or saving afterwards adds nothing more.
        minutesField.text = ""
        root.setExpiry(new Date(base.getTime() + parseInt(text, 10) * 60000))
    }

    function openSelectedCustomer() {
        if (root.selectedCustomerId === null)
            return
        const customer = customerService.customerById(root.selectedCustomerId)
        if (!customer || customer.id === undefined) {
            errorLabel.text = qsTr("Selected customer not found")
            return
        }
        customerDialog.resetAndShow(customer.id, customer.name ?? "", customer.notes ?? "", customer.contacts ?? [])
    }

    title: root.editMode === "edit" ? qsTr("Edit Task") : qsTr("New Task")
    modal: true
    focus: true
    // A stray click beside the form must not throw away what was typed.
    closePolicy: Popup.CloseOnEscape
    width: 470
    anchors.centerIn: parent

    onClosed: errorLabel.text = ""

    Shortcut {
        sequences: ["Return", "Enter"]
        enabled: root.visible && !expirePicker.visible && !root.blocked
        onActivated: root.save()
    }
    Shortcut {
        sequences: ["Ctrl+G"]
        enabled: root.visible && !root.blocked && !expirePicker.visible
        onActivated: expirePicker.openAt(root.expireAtLocal ?? new Date())
    }
    Shortcut {
        sequences: ["Ctrl+D"]
        context: Qt.ApplicationShortcut
        enabled: root.visible && !root.blocked
        onActivated: doneBox.toggle()
    }
    Shortcut {
        sequences: ["Ctrl+W"]
        enabled: root.visible && !root.blocked && levelSpin.value < 100
        onActivated: levelSpin.value += 1
    }
    Shortcut {
        sequences: ["Ctrl+Q"]
        enabled: root.visible && !root.blocked && levelSpin.value > 1
        onActivated: levelSpin.value -= 1
    }

    ColumnLayout {
        width: 420
        spacing: 10

        SyncNotice {
            objectName: "syncNotice"
            Layout.fillWidth: true
            text: root.syncNotice
            visible: root.syncNotice !== ""
            onDismissed: {
                syncService.dismissNotice(root.editingId)
                root.syncNotice = ""
            }
        }

        RowLayout {
            Layout.fillWidth: true

            TextField {
                id: customerField
                objectName: "customerField"
                Accessible.name: qsTr("Customer")
                Accessible.description: qsTr("Space chooses a customer")
                placeholderText: qsTr("Select Customer...")
                readOnly: true
                activeFocusOnPress: false
                Layout.fillWidth: true
                TapHandler { onTapped: customerSelectionDialog.open() }
                Keys.onSpacePressed: customerSelectionDialog.open()
            }
            Button {
                objectName: "detachCustomerButton"
                visible: root.selectedCustomerId !== null
                Accessible.name: qsTr("Remove the customer")
                Layout.preferredWidth: 40
                contentItem: Text {
                    text: "✕"
                    font.pixelSize: 16
                    color: "tomato"
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }
                onClicked: root.setCustomer(null, "")
            }
            Button {
                objectName: "openCustomerButton"
                visible: root.selectedCustomerId !== null && root.showCustomerButton
                Layout.preferredWidth: 40
                text: "📝"
                Accessible.name: qsTr("Open the customer")
                onClicked: root.openSelectedCustomer()
            }
        }

        TextField {
            id: nameField
            objectName: "taskNameField"
            Accessible.name: placeholderText
            placeholderText: qsTr("Task name")
            maximumLength: InputLimits.nameLength
            Layout.fillWidth: true
            onTextChanged: root.clearRequiredError()
        }

        TextField {
            id: expireField
            objectName: "expireField"
            Accessible.name: placeholderText
            Accessible.description: qsTr("Space or Ctrl+G picks the date and time")
            placeholderText: qsTr("Expire at (pick date & time)")
            readOnly: true
            activeFocusOnPress: false // a tap opens a picker, which takes the keys
            Layout.fillWidth: true
            TapHandler { onTapped: expirePicker.openAt(root.expireAtLocal ?? new Date()) }
            Keys.onSpacePressed: expirePicker.openAt(root.expireAtLocal ?? new Date())
        }

        RowLayout {
            Layout.fillWidth: true

            TextField {
                id: minutesField
                objectName: "minutesField"
                Accessible.name: placeholderText
                placeholderText: qsTr("Add minutes")
                validator: IntValidator { bottom: 0 }
                Layout.preferredWidth: 120
                onEditingFinished: root.addMinutes()
                // Return here finishes the entry (adding the minutes) instead of saving the form.
                Keys.onShortcutOverride: event => event.accepted = event.key === Qt.Key_Return
                                         || event.key === Qt.Key_Enter
            }
            Item {
                Layout.fillWidth: true
            }
            SpinBox {
                id: levelSpin
                objectName: "levelSpin"
                Accessible.name: qsTr("Level")
                from: 1
                to: 100
                editable: true
            }
            Label {
                text: qsTr("Level")
            }
            CheckBox {
                id: doneBox
                objectName: "doneBox"
                text: qsTr("Done")
            }
        }

        ScrollView {
            clip: true
            Layout.fillWidth: true
            Layout.preferredHeight: 150

            NotesArea {
                id: notesArea
                objectName: "taskNotesArea"
            }
        }

        Label {
            id: errorLabel
            objectName: "taskErrorLabel"

            Announcement {
                text: errorLabel.text
            }
            color: "tomato"
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }

        RowLayout {
            Button {
                objectName: "taskSaveButton"
                text: qsTr("Save")
                onClicked: root.save()
            }
            Button {
                objectName: "taskCloseButton"
                text: qsTr("Close")
                onClicked: root.close()
            }
            Button {
                objectName: "deleteTaskButton"
                text: qsTr("Delete")
                visible: root.editMode === "edit"
                onClicked: root.deleteTask()
            }
        }
    }

    CustomerSelectionDialog {
        id: customerSelectionDialog
        objectName: "customerSelectionDialog"
        onCustomerSelected: (id, name) => root.setCustomer(id, name)
    }

    CustomerDialog {
        id: customerDialog
        objectName: "customerDialog"
        onCustomerSaved: (id, name) => {
            if (id !== null && id === root.selectedCustomerId)
                customerField.text = name
        }
    }

    ExpiryPicker {
        id: expirePicker
        objectName: "expirePicker"
        width: Math.min(root.width + root.leftPadding + root.rightPadding, 460)
        onConfirmed: picked => root.setExpiry(picked)

        // The open picker blocks the dialog's own shortcuts, so it answers Ctrl+G itself.
        Shortcut {
            sequences: ["Ctrl+G"]
            enabled: expirePicker.visible
            onActivated: expirePicker.close()
        }
    }
}
