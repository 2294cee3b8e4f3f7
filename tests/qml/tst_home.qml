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

        function test_altKeysHeldBackUnderDialog_data() {
            return [{ tag: "task dialog", tab: 0, open: () => subject.forceOpenTask(0), page: "tasksPage", dialog: "taskDialog" },
                    { tag: "customer dialog", tab: 2, open: () => part("customersPage").openNewTask(), page: "customersPage",
                      dialog: "customerDialog" },
                    { tag: "settings dialog", tab: 1, open: () => mouseClick(part("settingsButton")), dialog: "settingsDialog" }]
        }

        // Alt+1..4 switch tabs, but not while a modal dialog is open.
        function test_altKeysHeldBackUnderDialog(data) {
            compare(part("homeTabBar").currentIndex, 2) // the initial tab
            keyClick(Qt.Key_1 + data.tab, Qt.AltModifier)
            data.open()
            const dialog = part(data.dialog, data.page ? part(data.page) : subject)
            tryVerify(() => dialog.opened)
            keyClick(Qt.Key_4, Qt.AltModifier)
            compare(part("homeTabBar").currentIndex, data.tab)
            closed(dialog, () => dialog.close())
            keyClick(Qt.Key_4, Qt.AltModifier)
            compare(part("homeTabBar").currentIndex, 3)
        }

        function test_exportAsksBeforeReplacing_data() {
            return [{ tag: "Cancel keeps the file", button: Dialog.Cancel, texts: [] },
                    { tag: "Replace exports, clearing the last result", button: Dialog.Ok, texts: ["", "Exported"] }]
        }

        // Qt's own save dialog replaces a file unasked: the panel asks. A new job clears the last result.
        function test_exportAsksBeforeReplacing(data) {
            const dialog = part("settingsDialog")
            opened(dialog, () => mouseClick(part("settingsButton")))
            const message = part("transferMessage", dialog)
            taskTransfer.exportCalendar(taskTransfer.suggestedFile("calendar"))
            tryVerify(() => !taskTransfer.busy && message.text !== "")
            const texts = []
            message.textChanged.connect(() => texts.push(message.text.split(" ")[0]))
            part("exportTasksButton", dialog).clicked()
            part("exportFileDialog", dialog).accept()
            const replace = part("replaceFileDialog", dialog)
            tryVerify(() => replace.opened)
            waitForItemPolished(replace.footer.contentItem)
            closed(replace, () => mouseClick(replace.standardButton(data.button)))
            tryVerify(() => !taskTransfer.busy && texts.length === data.texts.length)
            compare(texts, data.texts)
            closed(dialog, () => dialog.reject())
        }

        // Every change is written at once; Cancel closes without undoing it.
        function test_settingsWriteThroughAtOnce() {
            const dialog = part("settingsDialog")
            opened(dialog, () => mouseClick(part("settingsButton")))
            const before = settings.notifyMinutes
            const spin = part("notifyMinutesSpinBox", dialog)
            mouseClick(spin.up.indicator)
            compare(settings.notifyMinutes, before + 1)
            mouseWheel(spin, spin.width / 2, spin.height / 2, 0, 120)
            compare(settings.notifyMinutes, before + 2)
            mouseWheel(spin, spin.width / 2, spin.height / 2, 0, -120)
            mouseClick(part("useDefaultDbButton", dialog))
            compare([settings.dbPath, part("dbPathField", dialog).placeholderText], ["", defaultDbPath])
            closed(dialog, () => dialog.reject())
            compare(settings.notifyMinutes, before + 1)
        }

        function test_connectionTestReportsServerError_data() {
            return [{ tag: "Cancel keeps the saved string", button: Dialog.Cancel, saved: "" },
                    { tag: "OK stores it", button: Dialog.Ok, saved: "host=/nonexistent dbname=duevia" }]
        }

        // The test runs in the background and shows the server's own reason; only OK stores the string.
        function test_connectionTestReportsServerError(data) {
            const dialog = part("settingsDialog")
            opened(dialog, () => mouseClick(part("settingsButton")))
            const field = part("dbServerField", dialog)
            field.forceActiveFocus()
            field.text = "host=db.example dbname=duevia" // warned of: not verified on the way
            verify(part("serverWarning", dialog).visible)
            field.text = "host=/nonexistent dbname=duevia"
            verify(!part("serverWarning", dialog).visible)
            mouseClick(part("testConnectionButton", dialog))
            tryVerify(() => !connectionTest.busy, 20000)
            verify(part("serverMessage", dialog).text.indexOf("/nonexistent/.s.PGSQL.5432") > 0,
                   part("serverMessage", dialog).text)
            compare(settings.dbServer, "")
            closed(dialog, () => mouseClick(dialog.standardButton(data.button)))
            compare(settings.dbServer, data.saved)
            opened(dialog, () => mouseClick(part("settingsButton")))
            compare(field.text, data.saved)
            closed(dialog, () => dialog.reject())
            settings.dbServer = ""
        }
    }
}
