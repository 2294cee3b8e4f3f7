import QtQuick
import QtQuick.Controls
import QtTest
import QuilloQml

Item {
    id: root

    width: 1300
    height: 700

    StackView {
        id: stack

        anchors.fill: parent
    }

    Component {
        id: loginComponent

        LoginPage {
            stackView: stack
        }
    }

    TestCase {
        id: testCase

        name: "Accounts"
        when: windowShown

        function child(name) {
            return findChild(stack.currentItem, name)
        }

        function typeInto(field, text) {
            field.forceActiveFocus()
            field.text = text
        }

        function waitForStack() {
            tryVerify(() => !stack.busy)
        }

        function init() {
            auth.logout()
            stack.clear()
            stack.push(loginComponent)
            waitForStack()
        }

        function openRegistration() {
            mouseClick(child("createAccountButton"))
            waitForStack()
            compare(stack.depth, 2)
        }

        function fillRegistration(fullName, username, password, confirm) {
            child("fullNameField").text = fullName
            child("usernameField").text = username
            child("passwordField").text = password
            child("confirmField").text = confirm
        }

        function test_registrationMessages_data() {
            return [
                { tag: "blank full name", fullName: "  ", username: "anna", password: "12345678",
                  confirm: "12345678", message: "Insert full name." },
                { tag: "short username", fullName: "Anna", username: " an ", password: "12345678",
                  confirm: "12345678", message: "Username too short." },
                { tag: "short password before mismatch", fullName: "Anna", username: "anna",
                  password: "1234567", confirm: "other", message: "Password must be at least 8 characters." },
                { tag: "mismatch", fullName: "Anna", username: "anna", password: "12345678",
                  confirm: "12345679", message: "Passwords do not match." },
            ]
        }

        function test_registrationMessages(data) {
            openRegistration()
            fillRegistration(data.fullName, data.username, data.password, data.confirm)
            mouseClick(child("registerButton"))
            compare(child("messageLabel").text, data.message)
            compare(stack.depth, 2)
        }

        function test_registerSignInSignOut() {
            typeInto(child("usernameField"), "kept text")
            openRegistration()
            fillRegistration("Zoe Quinn", "  zoe  ", "password1", "password1")
            mouseClick(child("registerButton"))
            waitForStack()
            compare(stack.depth, 1)
            // The login page keeps what it held; the new name is not filled in.
            compare(child("usernameField").text, "kept text")

            openRegistration()
            fillRegistration("Other", "zoe", "password2", "password2")
            mouseClick(child("registerButton"))
            compare(child("messageLabel").text, "Registration failed (username already exists or DB error).")
            mouseClick(child("backButton"))
            waitForStack()

            child("usernameField").text = "zoe"
            typeInto(child("passwordField"), "password1")
            mouseClick(child("signInButton"))
            waitForStack()
            verify(auth.loggedIn)
            verify(findChild(stack.currentItem, "homeTabBar") !== null)

            mouseClick(child("logoutButton"))
            waitForStack()
            verify(!auth.loggedIn)
            verify(child("signInButton") !== null)
            compare(child("usernameField").text, "")
        }

        function test_signInWithEnter() {
            testSupport.signIn("enter-user")
            auth.logout()
            mouseClick(child("signInButton"))
            compare(child("messageLabel").text, "Invalid credentials (or user inactive).")

            // A refused attempt keeps both fields; Enter in the user name field does nothing.
            child("usernameField").text = "enter-user"
            typeInto(child("passwordField"), "wrong-password")
            keyClick(Qt.Key_Return)
            compare(child("messageLabel").text, "Invalid credentials (or user inactive).")
            compare(child("passwordField").text, "wrong-password")
            child("passwordField").text = "password123"
            child("usernameField").forceActiveFocus()
            keyClick(Qt.Key_Return)
            verify(!auth.loggedIn)

            child("passwordField").forceActiveFocus()
            keyClick(Qt.Key_Return)
            waitForStack()
            verify(auth.loggedIn)
        }

        function test_footerLinkOpensQtSite() {
            const page = stack.currentItem
            let opened = ""
            page.footerLinkActivated.connect(link => opened = link.toString())
            mouseClick(child("footerLink"))
            compare(opened, "https://www.qt.io/")
        }
    }
}
