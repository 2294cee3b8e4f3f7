import QtQuick
import QtQuick.Controls
import QuilloQml

Item {
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

    PageTest {
        name: "Accounts"
        user: "enter-user"

        function child(name) {
            return part(name, stack.currentItem)
        }

        function init() {
            auth.logout()
            stack.clear()
            stack.push(loginComponent)
            tryVerify(() => !stack.busy)
        }

        function register(fullName, username, password, confirm) {
            mouseClick(child("createAccountButton"))
            tryVerify(() => !stack.busy && stack.depth === 2)
            child("fullNameField").text = fullName
            child("usernameField").text = username
            child("passwordField").text = password
            child("confirmField").text = confirm
            mouseClick(child("registerButton"))
            tryVerify(() => !stack.busy)
        }

        function test_registrationMessages_data() {
            const row = (tag, fullName, username, password, confirm, message) =>
                ({ tag: tag, fullName: fullName, username: username, password: password, confirm: confirm, message: message })
            return [row("short username", "Anna", " an ", "12345678", "12345678", "Username too short."),
                    row("short password first", "Anna", "anna", "1234567", "x", "Password must be at least 8 characters."),
                    row("mismatch", "Anna", "anna", "12345678", "12345679", "Passwords do not match."),
                    row("taken name", "Other", "enter-user", "password2", "password2",
                        "Registration failed (username already exists or DB error).")]
        }

        function test_registrationMessages(data) {
            register(data.fullName, data.username, data.password, data.confirm)
            compare([child("messageLabel").text, stack.depth], [data.message, 2])
        }

        // By keyboard alone: the first field has the focus, Return registers, and the sign-in page
        // comes back with the name filled in, the message and the password field focused.
        function test_registerSignInSignOut() {
            mouseClick(child("createAccountButton"))
            tryVerify(() => !stack.busy && stack.depth === 2 && child("fullNameField").activeFocus)
            for (const text of ["Zoe Quinn", "  zoe  ", "password1", "password1"]) {
                type(text)
                keyClick(Qt.Key_Tab)
            }
            keyClick(Qt.Key_Backtab)
            keyClick(Qt.Key_Return)
            tryVerify(() => !stack.busy && stack.depth === 1)
            compare([child("usernameField").text, child("messageLabel").text, child("passwordField").activeFocus],
                    ["zoe", "Account created. You can login now.", true])
            type("password1")
            keyClick(Qt.Key_Return)
            tryVerify(() => !stack.busy && auth.loggedIn)
            mouseClick(child("logoutButton"))
            tryVerify(() => !stack.busy)
            verify(!auth.loggedIn)
            compare(child("usernameField").text, "")
        }

        // A refused attempt keeps both fields; Enter in the password field signs in.
        function test_signInWithEnter() {
            child("usernameField").text = "enter-user"
            child("passwordField").forceActiveFocus()
            child("passwordField").text = "wrong-password"
            keyClick(Qt.Key_Return)
            compare([child("messageLabel").text, child("passwordField").text],
                    ["Invalid credentials (or user inactive).", "wrong-password"])
            child("passwordField").text = "password123"
            keyClick(Qt.Key_Return)
            tryVerify(() => !stack.busy && auth.loggedIn)
        }
    }
}
