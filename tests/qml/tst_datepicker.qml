import QtQuick
import QtQuick.Controls
import QtTest
import QuilloQml

Item {
    id: window
    width: 1000
    height: 700

    StackView {
        id: stack
        anchors.fill: parent
    }

    MyDatePicker {
        id: picker
        width: 300
    }

    SignalSpy {
        id: selectedSpy
        target: picker
        signalName: "dateSelected"
    }

    Component {
        id: pageComponent
        TasksPage {
            stackView: stack
        }
    }

    Component {
        id: dialogComponent
        TaskDialog {}
    }

    TestCase {
        name: "DatePicker"
        when: windowShown

        function initTestCase() {
            verify(testSupport.signIn("alice") > 0)
        }

        function sameMoment(actual, expected, message) {
            compare(new Date(actual).getTime(), expected.getTime(), message)
        }

        // The picker starts "now", read between two clock readings taken to the minute.
        function verifyStartsNow(popup, before) {
            const after = new Date()
            before.setSeconds(0, 0)
            const start = new Date(popup.tmpDate).getTime()
            verify(start >= before.getTime() && start <= after.getTime(), "starts at the current time")
        }

        function part(popup, name) {
            const item = findChild(popup.contentItem, name)
            verify(item, name)
            return item
        }

        function test_keys_data() {
            return [
                { tag: "Right on the last day of January", start: new Date(2026, 0, 31, 17, 45, 12), key: Qt.Key_Right, day: new Date(2026, 1, 1) },
                { tag: "Left on New Year's day", start: new Date(2026, 0, 1), key: Qt.Key_Left, day: new Date(2025, 11, 31) },
                { tag: "Up on the 3rd after 28 days", start: new Date(2026, 2, 3), key: Qt.Key_Up, day: new Date(2026, 1, 24) },
                { tag: "Up on the 3rd after 29 days", start: new Date(2024, 2, 3), key: Qt.Key_Up, day: new Date(2024, 1, 25) },
                { tag: "Up on the 3rd after 30 days", start: new Date(2026, 4, 3), key: Qt.Key_Up, day: new Date(2026, 3, 26) },
                { tag: "Up on the 3rd after 31 days", start: new Date(2026, 1, 3), key: Qt.Key_Up, day: new Date(2026, 0, 27) },
                { tag: "Down across the year", start: new Date(2026, 11, 28), key: Qt.Key_Down, day: new Date(2027, 0, 4) }
            ]
        }

        function test_keys(data) {
            picker.selectDate(data.start)
            verify(picker.activeFocus)
            selectedSpy.clear()
            keyClick(data.key)
            compare(picker.selectedTime, data.day.getTime())
            compare(picker.month, data.day.getMonth())
            compare(picker.year, data.day.getFullYear())
            compare(selectedSpy.count, 1)
            sameMoment(selectedSpy.signalArguments[0][0], data.day)
            sameMoment(picker.selectedDate, data.day)
        }

        function test_monthStepsKeepTheSelection() {
            picker.selectDate(new Date(2026, 11, 15))
            selectedSpy.clear()
            picker.nextMonth()
            compare([picker.month, picker.year], [0, 2027])
            picker.prevMonth()
            picker.prevMonth()
            compare([picker.month, picker.year], [10, 2026])
            compare(picker.selectedTime, new Date(2026, 11, 15).getTime())
            compare(selectedSpy.count, 0)
        }

        function test_tapSelectsDay() {
            picker.selectDate(new Date(2026, 2, 1))
            const grid = picker.children[2]
            const cell = Array.from(grid.contentItem.children).find(c => c.day && c.day.getTime() === new Date(2026, 2, 18).getTime())
            verify(cell)
            mouseClick(cell)
            compare(picker.selectedTime, new Date(2026, 2, 18).getTime())
        }

        function test_filterPicker_data() {
            const at = (h, m, day) => new Date(2026, 2, day ?? 5, h, m)
            const ctrl = key => [key, Qt.ControlModifier]
            return [
                { tag: "no roll-over at 23:59", text: "2026-03-05 23:59", start: at(23, 59),
                  keys: [ctrl(Qt.Key_Up), ctrl(Qt.Key_Right)], result: "2026-03-05 23:59" },
                { tag: "none below 00:00, trimmed text", text: " 2026-03-05 00:00 ", start: at(0, 0),
                  keys: [ctrl(Qt.Key_Down), ctrl(Qt.Key_Left)], result: "2026-03-05 00:00" },
                { tag: "another day keeps the time", text: "2026-03-05 10:10", start: at(10, 10),
                  keys: [ctrl(Qt.Key_Down), ctrl(Qt.Key_Left), [Qt.Key_Right]], result: "2026-03-06 09:09" },
                { tag: "empty field starts now, cancel", text: "", start: null, keys: [], result: null },
                { tag: "unreadable field starts now, cancel", text: "2026-3-5 14:30", start: null, keys: [], result: null }
            ]
        }

        function test_filterPicker(data) {
            const page = createTemporaryObject(pageComponent, stack)
            const popup = findChild(page, "expirePicker")
            const field = findChild(page, "expireToField")
            taskService.filterExpireTo = data.text
            const before = new Date()
            mouseClick(field) // a tap on the field opens its picker
            tryVerify(() => popup.opened)
            if (data.start) {
                sameMoment(popup.tmpDate, data.start)
                compare(part(popup, "hourSpin").value, data.start.getHours())
                compare(part(popup, "minuteSpin").value, data.start.getMinutes())
            } else {
                verifyStartsNow(popup, before)
            }
            for (const [key, modifiers] of data.keys)
                keyClick(key, modifiers ?? Qt.NoModifier)
            if (data.result) {
                keyClick(Qt.Key_Return)
                compare(popup.opener, null)
            } else {
                mouseClick(part(popup, "pickerCancelButton"))
            }
            tryVerify(() => !popup.visible)
            compare(field.text, data.result ?? data.text)
            compare(taskService.filterExpireTo, data.result ?? data.text)
            taskService.filterExpireTo = ""
        }

        function test_dialogPicker() {
            const dialog = createTemporaryObject(dialogComponent, window)
            dialog.openForCreate("2026-07-04 09:15")
            tryVerify(() => dialog.opened)
            const popup = findChild(dialog, "expirePicker")
            compare(popup.width, 460)
            mouseClick(findChild(dialog, "expireField"))
            tryVerify(() => popup.opened)
            sameMoment(popup.tmpDate, new Date(2026, 6, 4, 9, 15), "starts at the dialog's expiry")
            keyClick(Qt.Key_Up, Qt.ControlModifier)
            keyClick(Qt.Key_Down)
            keyClick(Qt.Key_Return)
            tryVerify(() => !popup.visible)
            verify(dialog.visible, "Return confirmed the picker, not the dialog")
            sameMoment(dialog.expireAtLocal, new Date(2026, 6, 11, 10, 15))
            compare(findChild(dialog, "expireField").text, "2026-07-11 10:15")

            dialog.openForCreate()
            const before = new Date()
            keyClick(Qt.Key_G, Qt.ControlModifier)
            tryVerify(() => popup.opened)
            verifyStartsNow(popup, before)
            keyClick(Qt.Key_G, Qt.ControlModifier)
            tryVerify(() => !popup.visible)
            compare(dialog.expireAtLocal, null, "closing the picker leaves the expiry unset")
            dialog.close()
        }
    }
}
