import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QuilloQml

Page {
    id: root
    Accessible.name: qsTr("Create account")

    required property StackView stackView

    function doRegister() {
        messageLabel.color = "tomato"
        messageLabel.text = ""
        if (fullNameField.text.trim() === "") {
            messageLabel.text = qsTr("Insert full name.")
            return
        }
        if (usernameField.text.trim().length < 3) {
            messageLabel.text = qsTr("Username too short.")
            return
        }
        if (passwordField.text.length < 8) {
            messageLabel.text = qsTr("Password must be at least 8 characters.")
            return
        }
        if (passwordField.text !== confirmField.text) {
            messageLabel.text = qsTr("Passwords do not match.")
            return
        }
        if (auth.registerUser(usernameField.text, passwordField.text, fullNameField.text)) {
            // The message is shown on the sign-in page, which comes back with the new name filled in.
            const name = usernameField.text.trim()
            root.stackView.pop()
            if (root.stackView.currentItem && root.stackView.currentItem.showRegistered)
                root.stackView.currentItem.showRegistered(name, qsTr("Account created. You can login now."))
        } else {
            messageLabel.text = qsTr("Registration failed (username already exists or DB error).")
        }
    }

    background: null
    StackView.onActivated: fullNameField.forceActiveFocus()

    ColumnLayout {
        anchors.centerIn: parent
        width: 420
        spacing: 12

        Label {
            text: qsTr("Create account")
            color: "white"
            font.pixelSize: 22
        }

        TextField {
            id: fullNameField
            Accessible.name: placeholderText

            objectName: "fullNameField"
            Layout.fillWidth: true
            onAccepted: root.doRegister()
            placeholderText: qsTr("Full name")
            maximumLength: InputLimits.nameLength
        }

        TextField {
            id: usernameField
            Accessible.name: placeholderText

            objectName: "usernameField"
            Layout.fillWidth: true
            onAccepted: root.doRegister()
            placeholderText: qsTr("Username")
            maximumLength: InputLimits.nameLength
        }

        TextField {
            id: passwordField
            Accessible.name: placeholderText

            objectName: "passwordField"
            Layout.fillWidth: true
            onAccepted: root.doRegister()
            placeholderText: qsTr("Password (min 8 chars)")
            echoMode: TextInput.Password
        }

        TextField {
            id: confirmField
            Accessible.name: placeholderText

            objectName: "confirmField"
            Layout.fillWidth: true
            onAccepted: root.doRegister()
            placeholderText: qsTr("Confirm password")
            echoMode: TextInput.Password
        }

        Label {
            id: messageLabel

            objectName: "messageLabel"
            Layout.fillWidth: true

            Announcement {
                text: messageLabel.text
            }
            color: "tomato"
            wrapMode: Text.WordWrap
        }

        RowLayout {
            Layout.fillWidth: true

            Button {
                objectName: "backButton"
                text: qsTr("Back")
                onClicked: root.stackView.pop()
            }

            Item {
                Layout.fillWidth: true
            }

            Button {
                objectName: "registerButton"
                text: qsTr("Register")
                onClicked: root.doRegister()
            }
        }
    }
}
