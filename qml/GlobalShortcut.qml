import QtQuick
import QtQuick.Controls

// The keyboard of a paged table page. The host places one inside itself and provides
// openNewTask(), editSelectedTask() and deleteSelectedTask(); the shortcuts act window-wide,
// but only while the host is shown and its condition holds.
Item {
    id: root

    property bool condition: true
    property var tService: null
    property var tModel: null
    property TableView tableView: null
    property TextField searchField: null
    property int currentRow: -1
    // The page whose functions the shortcuts call; the page that holds this item unless set.
    property var host: parent

    readonly property bool parentVisible: !root.parent || root.parent.visible
    readonly property bool active: root.condition && root.parentVisible

    signal selectedRowRequested(int row)

    function moveSelection(step) {
        const count = root.tModel ? root.tModel.rowCountQml() : 0
        if (count <= 0)
            return
        let target
        if (root.currentRow < 0)
            target = step > 0 ? 0 : count - 1
        else
            target = Math.max(0, Math.min(root.currentRow + step, count - 1))
        if (target === root.currentRow)
            return
        root.selectedRowRequested(target)
        root.scrollToRow(target)
    }

    function scrollToRow(row) {
        if (!root.tableView || row < 0)
            return
        scrollTimer.row = row
        scrollTimer.restart()
    }

    function focusSearch() {
        if (!root.searchField)
            return
        root.searchField.forceActiveFocus()
        root.searchField.selectAll()
    }

    visible: false

    // Scrolls on the next turn of the event loop, once the table has seen the new selection.
    Timer {
        id: scrollTimer
        property int row: -1
        interval: 0
        onTriggered: {
            if (root.tableView)
                root.tableView.positionViewAtRow(scrollTimer.row, TableView.Visible)
        }
    }

    Shortcut {
        sequences: ["Down"]
        enabled: root.active
        onActivated: root.moveSelection(1)
    }
    Shortcut {
        sequences: ["Up"]
        enabled: root.active
        onActivated: root.moveSelection(-1)
    }
    Shortcut {
        sequences: ["Ctrl+F"]
        enabled: root.active
        onActivated: root.focusSearch()
    }
    Shortcut {
        sequences: ["Right"]
        enabled: root.active && root.tService !== null && root.tService.currentPage < root.tService.totalPages
        onActivated: root.tService.loadPage(root.tService.currentPage + 1)
    }
    Shortcut {
        sequences: ["Left"]
        enabled: root.active && root.tService !== null && root.tService.currentPage > 1
        onActivated: root.tService.loadPage(root.tService.currentPage - 1)
    }
    Shortcut {
        sequences: ["Home"]
        enabled: root.active && root.tService !== null
        onActivated: root.tService.loadPage(1)
    }
    Shortcut {
        sequences: ["End"]
        enabled: root.active && root.tService !== null
        onActivated: root.tService.loadPage(root.tService.totalPages)
    }
    Shortcut {
        sequences: ["Ctrl+N"]
        enabled: root.active && root.host !== null
        onActivated: root.host.openNewTask()
    }
    Shortcut {
        sequences: ["Ctrl+E"]
        enabled: root.active && root.host !== null
        onActivated: root.host.editSelectedTask()
    }
    Shortcut {
        sequences: ["Delete"]
        enabled: root.active && root.host !== null
        onActivated: root.host.deleteSelectedTask()
    }
}
