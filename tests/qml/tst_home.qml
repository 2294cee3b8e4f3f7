import QtQuick
import QtQuick.Controls
import QtTest
import QuilloQml

Item {
    id: root

    // Tall enough for the whole settings dialog, so its buttons can be clicked without scrolling.
    width: 1300
    height: 1000

    StackView {
        id: stack

        anchors.fill: parent
    }

    Component {
        id: homeComponent

        HomePage {
            stackView: stack
        }
    }

    TestCase {
        name: "HomePage"
        when: windowShown

        property var home: null

        function init() {
            testSupport.signIn("home-user")
            stack.clear()
            stack.push(homeComponent, { initialTabIndex: 0 })
            tryVerify(() => !stack.busy)
            home = stack.currentItem
        }

        function tabBar() {
            return findChild(home, "homeTabBar")
        }

        function test_altKeysFollowTabOrder_data() {
            return [
                { tag: "Alt+2 calendar", key: Qt.Key_2, index: 1, page: "calendarPage" },
                { tag: "Alt+3 customers", key: Qt.Key_3, index: 2, page: "customersPage" },
                { tag: "Alt+4 chart", key: Qt.Key_4, index: 3, page: "chartPage" },
                { tag: "Alt+1 tasks", key: Qt.Key_1, index: 0, page: "tasksPage" },
            ]
        }

        function test_altKeysFollowTabOrder(data) {
            tabBar().currentIndex = data.index === 0 ? 3 : 0
            keyClick(data.key, Qt.AltModifier)
            compare(tabBar().currentIndex, data.index)
            verify(findChild(home, data.page).visible)
        }

        function test_altKeysHeldBackUnderDialog_data() {
            return [
                { tag: "task dialog", tab: 0, open: () => home.forceOpenTask(0), page: "tasksPage", dialog: "taskDialog" },
                { tag: "customer dialog", tab: 2, open: () => findChild(home, "customersPage").openNewTask(),
                  page: "customersPage", dialog: "customerDialog" },
                { tag: "settings dialog", tab: 1, open: () => mouseClick(findChild(home, "settingsButton")),
                  dialog: "settingsDialog" },
            ]
        }

        function test_altKeysHeldBackUnderDialog(data) {
            tabBar().currentIndex = data.tab
            data.open()
            const dialog = findChild(data.page ? findChild(home, data.page) : home, data.dialog)
            tryVerify(() => dialog.opened)
            keyClick(Qt.Key_4, Qt.AltModifier)
            compare(tabBar().currentIndex, data.tab)
            dialog.close()
            tryVerify(() => !dialog.visible)
            keyClick(Qt.Key_4, Qt.AltModifier)
            compare(tabBar().currentIndex, 3)
        }

        function test_initialTab() {
            stack.replace(homeComponent, { initialTabIndex: 2 })
            tryVerify(() => !stack.busy)
            compare(findChild(stack.currentItem, "homeTabBar").currentIndex, 2)
        }

        function test_settingsWriteThroughAtOnce() {
            mouseClick(findChild(home, "settingsButton"))
            const dialog = findChild(home, "settingsDialog")
            tryVerify(() => dialog.opened)

            const spin = findChild(dialog, "notifyMinutesSpinBox")
            compare(spin.from, 1)
            compare(spin.to, 1440)
            const before = settings.notifyMinutes
            mouseClick(spin.up.indicator)
            compare(settings.notifyMinutes, before + 1)
            mouseWheel(spin, spin.width / 2, spin.height / 2, 0, 120)
            compare(settings.notifyMinutes, before + 2)
            mouseWheel(spin, spin.width / 2, spin.height / 2, 0, -120)

            settings.dbPath = "file:///tmp/other.db"
            compare(findChild(dialog, "dbPathField").text, "/tmp/other.db")
            mouseClick(findChild(dialog, "useDefaultDbButton"))
            compare(settings.dbPath, "")
            compare(findChild(dialog, "dbPathField").placeholderText, defaultDbPath)
            settings.soundFile = "file:///tmp/bell%20one.wav"
            compare(findChild(dialog, "soundFileLabel").text, "/tmp/bell one.wav")
            settings.soundFile = ""

            // Cancel closes without undoing what was changed.
            dialog.reject()
            tryVerify(() => !dialog.visible)
            compare(settings.notifyMinutes, before + 1)
        }

        function test_settingsFitLowWindow() {
            const window = root.Window.window
            window.height = 600
            const dialog = findChild(home, "settingsDialog")
            tryVerify(() => dialog.parent.height === 600)
            mouseClick(findChild(home, "settingsButton"))
            tryVerify(() => dialog.opened)
            verify(dialog.implicitHeight > 600)
            verify(dialog.y >= 0 && dialog.y + dialog.height <= 600)
            dialog.reject()
            tryVerify(() => !dialog.visible)
            window.height = 1000
            tryVerify(() => dialog.parent.height === 1000)
        }

        function test_logoutReturnsToLogin() {
            mouseClick(findChild(home, "logoutButton"))
            tryVerify(() => !stack.busy)
            verify(!auth.loggedIn)
            verify(findChild(stack.currentItem, "signInButton") !== null)
        }
    }
}
