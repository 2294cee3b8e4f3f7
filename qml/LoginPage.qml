import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

Page {
    id: root
    Accessible.name: qsTr("Login")

    required property StackView stackView
    readonly property url footerLinkUrl: "https://www.qt.io/"

    // Raised with the address just before the system browser is asked to open it.
    signal footerLinkActivated(url link)

    // After a registration: the new name is filled in and only the password is left to type.
    function showRegistered(username, message) {
        usernameField.text = username
        passwordField.text = ""
        messageLabel.color = "lightgreen"
        messageLabel.text = message
        passwordField.forceActiveFocus()
    }

    function doLogin() {
        messageLabel.color = "tomato"
        messageLabel.text = ""
        if (auth.login(usernameField.text, passwordField.text))
            root.stackView.replace("HomePage.qml", { stackView: root.stackView })
        else
            messageLabel.text = qsTr("Invalid credentials (or user inactive).")
    }

    background: null
    Component.onCompleted: usernameField.forceActiveFocus()
    StackView.onActivated: (passwordField.activeFocus ? passwordField : usernameField).forceActiveFocus()

    ColumnLayout {
        anchors.centerIn: parent
        width: 360
        spacing: 12

        Label {
            text: qsTr("Login")
            color: "white"
            font.pixelSize: 22
        }

        TextField {
            id: usernameField
            Accessible.name: placeholderText

            objectName: "usernameField"
            Layout.fillWidth: true
            placeholderText: qsTr("Username")
            focus: true
        }

        TextField {
            id: passwordField
            Accessible.name: placeholderText

            objectName: "passwordField"
            Layout.fillWidth: true
            placeholderText: qsTr("Password")
            echoMode: TextInput.Password
            onAccepted: root.doLogin()
        }

        Label {
            id: messageLabel

            objectName: "messageLabel"
            Layout.fillWidth: true

            Announcement {
                text: messageLabel.text
            }
            color: "tomato"
        }

        RowLayout {
            spacing: 10

            Button {
                objectName: "signInButton"
                text: qsTr("Sign in")
                onClicked: root.doLogin()
            }

            Button {
                objectName: "createAccountButton"
                text: qsTr("Create account")
                onClicked: root.stackView.push("RegisterPage.qml", { stackView: root.stackView })
            }
        }
    }

    Row {
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 13
        spacing: 6

        Text {
            text: qsTr("Built with")
            color: "#aaaaaa"
            font.pixelSize: 14
        }

        Text {
            objectName: "footerLink"
            text: qsTr("Qt")
            color: linkArea.containsMouse ? "#c1c3d3" : "#7a86e8" // 5:1 on the page
            font.pixelSize: 14
            font.underline: activeFocus
            activeFocusOnTab: true
            Accessible.role: Accessible.Link
            Accessible.name: text
            Accessible.focusable: true
            Accessible.onPressAction: linkArea.clicked(null)
            Keys.onReturnPressed: linkArea.clicked(null)
            Keys.onSpacePressed: linkArea.clicked(null)

            MouseArea {
                id: linkArea

                anchors.fill: parent
                hoverEnabled: true
                cursorShape: Qt.PointingHandCursor
                onClicked: {
                    root.footerLinkActivated(root.footerLinkUrl)
                    Qt.openUrlExternally(root.footerLinkUrl)
                }
            }
        }
    }
}
