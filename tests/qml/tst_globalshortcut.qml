import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtTest
import QuilloQml

Item {
    id: root
    width: 800
    height: 600

    StackLayout {
        id: tabs
        anchors.fill: parent

        Item {
            id: host
            property int selectedRow: -1
            property var calls: []
            function openNewTask() { host.calls.push("new") }
            function editSelectedTask() { host.calls.push("edit") }
            function deleteSelectedTask() { host.calls.push("delete") }

            TextField {
                id: search
                text: "needle"
            }
            TableView {
                id: table
                y: 50
                width: 400
                height: 300
                model: taskModel
                delegate: Rectangle {
                    implicitWidth: 60
                    implicitHeight: 30
                }
            }
            GlobalShortcut {
                id: shortcuts
                tService: taskService
                tModel: taskModel
                tableView: table
                searchField: search
                currentRow: host.selectedRow
                onSelectedRowRequested: row => host.selectedRow = row
            }
        }
        Item {
            id: otherTab
        }
    }

    SignalSpy {
        id: requestSpy
        target: shortcuts
        signalName: "selectedRowRequested"
    }

    TestCase {
        name: "GlobalShortcut"
        when: windowShown

        function initTestCase() {
            verify(testSupport.signIn("alice") > 0)
            for (let i = 1; i <= 7; ++i)
                verify(taskService.createTask("Task " + i, new Date(2030, 0, i), false, 1))
            taskService.pageSize = 3
        }

        function init() {
            taskService.loadPage(1)
            tabs.currentIndex = 0
            shortcuts.condition = true
            host.selectedRow = -1
            host.calls = []
            requestSpy.clear()
            root.forceActiveFocus()
        }

        function test_moveSelection_data() {
            return [
                { tag: "Down without selection takes the first row", start: -1, key: Qt.Key_Down, row: 0 },
                { tag: "Up without selection takes the last row", start: -1, key: Qt.Key_Up, row: 2 },
                { tag: "Down moves one row", start: 1, key: Qt.Key_Down, row: 2 },
                { tag: "Up moves one row", start: 1, key: Qt.Key_Up, row: 0 },
                { tag: "Down on the last row stays", start: 2, key: Qt.Key_Down, row: 2 },
                { tag: "Up on the first row stays", start: 0, key: Qt.Key_Up, row: 0 }
            ]
        }

        function test_moveSelection(data) {
            host.selectedRow = data.start
            keyClick(data.key)
            compare(host.selectedRow, data.row)
            compare(requestSpy.count, data.start === data.row ? 0 : 1)
            compare(taskService.currentPage, 1)
        }

        function test_paging() {
            const steps = [
                [Qt.Key_Left, 1], [Qt.Key_Right, 2], [Qt.Key_End, 3], [Qt.Key_Right, 3],
                [Qt.Key_Left, 2], [Qt.Key_Home, 1]
            ]
            for (const [key, page] of steps) {
                keyClick(key)
                compare(taskService.currentPage, page, "after key " + key)
            }
            compare(taskService.totalPages, 3)
        }

        function test_searchFocus() {
            keyClick(Qt.Key_F, Qt.ControlModifier)
            verify(search.activeFocus)
            compare(search.selectedText, "needle")
        }

        function test_hostActions() {
            keyClick(Qt.Key_N, Qt.ControlModifier)
            keyClick(Qt.Key_E, Qt.ControlModifier)
            keyClick(Qt.Key_Delete)
            compare(host.calls, ["new", "edit", "delete"])
        }

        function test_inactive_data() {
            return [
                { tag: "condition false", hide: false },
                { tag: "host hidden by another tab", hide: true }
            ]
        }

        function test_inactive(data) {
            if (data.hide)
                tabs.currentIndex = 1
            else
                shortcuts.condition = false
            host.selectedRow = 1
            const keys = [[Qt.Key_Down], [Qt.Key_Up], [Qt.Key_Right], [Qt.Key_End], [Qt.Key_N, Qt.ControlModifier],
                          [Qt.Key_E, Qt.ControlModifier], [Qt.Key_Delete], [Qt.Key_F, Qt.ControlModifier]]
            for (const [key, modifiers] of keys)
                keyClick(key, modifiers ?? Qt.NoModifier)
            compare(host.selectedRow, 1)
            compare(taskService.currentPage, 1)
            compare(host.calls, [])
            verify(!search.activeFocus)
        }
    }
}
