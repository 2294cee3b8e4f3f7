import QtQuick
import QtQuick.Controls
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

    PageTest {
        name: "HomePage"
        user: "home-user"

        function init() {
            stack.clear()
            stack.push(homeComponent, { initialTabIndex: 2 })
            tryVerify(() => !stack.busy)
            subject = stack.currentItem
        }

        function test_altKeysFollowTabOrder() {
            compare(part("homeTabBar").currentIndex, 2)
            for (const [key, page] of [[Qt.Key_1, "tasksPage"], [Qt.Key_2, "calendarPage"], [Qt.Key_4, "chartPage"]]) {
                keyClick(key, Qt.AltModifier)
                verify(part(page).visible)
            }
        }

        // Every change is written at once; Cancel closes without undoing it.
        function test_settingsWriteThroughAtOnce() {
            const dialog = part("settingsDialog")
            opened(dialog, () => mouseClick(part("settingsButton")))
            const before = settings.notifyMinutes
            mouseClick(part("notifyMinutesSpinBox", dialog).up.indicator)
            compare(settings.notifyMinutes, before + 1)
            mouseClick(part("useDefaultDbButton", dialog))
            compare([settings.dbPath, part("dbPathField", dialog).placeholderText], ["", defaultDbPath])
            closed(dialog, () => dialog.reject())
            compare(settings.notifyMinutes, before + 1)
        }
    }
}
