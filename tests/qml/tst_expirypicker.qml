import QtQuick
import QtQuick.Controls
import QtTest
import QuilloQml

// What the picker does the same for every host; the hosts' own rules are tested with the hosts.
Item {
    id: window
    width: 800
    height: 600

    ExpiryPicker {
        id: picker
        width: 460
    }

    SignalSpy {
        id: confirmedSpy
        target: picker
        signalName: "confirmed"
    }

    TestCase {
        name: "ExpiryPicker"
        when: windowShown

        function init() {
            confirmedSpy.clear()
            picker.keysEnabled = true
        }

        function cleanup() {
            picker.close()
            tryVerify(() => !picker.visible)
        }

        function part(name) {
            const item = findChild(picker.contentItem, name)
            verify(item, name)
            return item
        }

        function openAtMay6() {
            picker.openAt(new Date(2026, 4, 6, 7, 8))
            tryVerify(() => picker.opened)
        }

        function test_typedTimeCounts_data() {
            return [
                { tag: "OK", confirm: () => mouseClick(part("pickerOkButton")) },
                { tag: "Return", confirm: () => keyClick(Qt.Key_Return) }
            ]
        }

        // An hour still being typed, not yet taken by its spin box, is part of the confirmed pick.
        function test_typedTimeCounts(data) {
            openAtMay6()
            const hour = part("hourSpin").contentItem
            hour.forceActiveFocus()
            hour.selectAll()
            keyClick(Qt.Key_1)
            keyClick(Qt.Key_9)
            data.confirm()
            tryVerify(() => !picker.visible)
            compare(confirmedSpy.count, 1)
            compare(confirmedSpy.signalArguments[0][1], "2026-05-06 19:08")
            compare(new Date(confirmedSpy.signalArguments[0][0]).getTime(), new Date(2026, 4, 6, 19, 8).getTime())
        }

        function test_keysOff() {
            picker.keysEnabled = false
            openAtMay6()
            keyClick(Qt.Key_Up, Qt.ControlModifier)
            keyClick(Qt.Key_Right, Qt.ControlModifier)
            keyClick(Qt.Key_Return)
            verify(picker.visible)
            compare(confirmedSpy.count, 0)
            compare([part("hourSpin").value, part("minuteSpin").value], [7, 8])
        }
    }
}
