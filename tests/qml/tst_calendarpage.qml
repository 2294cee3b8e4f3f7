import QtQuick
import QtQuick.Controls
import QtTest
import QuilloQml

Item {
    id: window

    property var openRequests: []

    // Stands in for the home page's entry point, which the page calls by its bare name.
    function forceOpenTask(taskId, expire_at, showCustomerButton) {
        openRequests.push({ taskId: taskId, expireAt: expire_at })
    }

    width: 1100
    height: 800

    Component {
        id: calendarComponent

        CalendarPage {
            anchors.fill: parent
        }
    }

    TestCase {
        id: testCase
        name: "CalendarPage"
        when: windowShown

        property var page: null

        function findAll(item, name, found = []) {
            if (item.objectName === name && item.visible)
                found.push(item)
            for (let i = 0; i < item.children.length; ++i)
                findAll(item.children[i], name, found)
            return found
        }

        // Shows a month and lets the layouts place its cells.
        function showMonth(year, month) {
            page.showMonth(year, month)
            waitForRendering(page)
        }

        function cell(key) {
            return findChild(page, "dayCell_" + key)
        }

        function addTask(name, day, hour, level = 1, done = false) {
            verify(taskService.createTask(name, new Date(day[0], day[1] - 1, day[2], hour, 30), done, level))
            return testSupport.scalar("SELECT MAX(id) FROM tasks")
        }

        function dayList() {
            return findChild(page, "dayTaskList")
        }

        function listEntries() {
            const view = findChild(dayList().contentItem, "taskListView")
            view.forceLayout()
            const entries = []
            for (let i = 0; i < view.count; ++i)
                entries.push(view.itemAtIndex(i))
            return entries
        }

        function initTestCase() {
            verify(testSupport.signIn("calendar-user") > 0)
        }

        function init() {
            testSupport.exec("DELETE FROM tasks")
            window.openRequests = []
            page = createTemporaryObject(calendarComponent, window)
            verify(page)
        }

        function test_gridGeometry_data() {
            return [
                { tag: "February 2027 starts on a Monday", year: 2027, month: 1, weeks: 4,
                  first: "2027-02-01", last: "2027-02-28" },
                { tag: "March 2026 starts on a Sunday", year: 2026, month: 2, weeks: 6,
                  first: "2026-02-23", last: "2026-04-05" },
                { tag: "January 2026 starts on a Thursday", year: 2026, month: 0, weeks: 5,
                  first: "2025-12-29", last: "2026-02-01" },
            ]
        }

        function test_gridGeometry(data) {
            showMonth(data.year, data.month)
            compare(page.weekCount, data.weeks)
            compare(page.monthStartDate, data.first)
            compare(page.monthEndDate, data.last)
            const cells = []
            const grid = findChild(page, "monthGrid")
            for (let i = 0; i < grid.children.length; ++i) {
                if (grid.children[i].objectName.startsWith("dayCell_"))
                    cells.push(grid.children[i])
            }
            compare(cells.length, data.weeks * 7)
            compare(cells[0].objectName, "dayCell_" + data.first)
            compare(cells[cells.length - 1].objectName, "dayCell_" + data.last)
            verify(cells[0].inShownMonth === (data.first.substring(5, 7) === String(data.month + 1).padStart(2, "0")))
            // Cells share the grid evenly.
            fuzzyCompare(cells[0].width, cells[cells.length - 1].width, 1)
            fuzzyCompare(cells[0].height, cells[cells.length - 1].height, 1)
        }

        function test_cellShowsTwoTasksAndBadge_data() {
            return [
                { tag: "one task", count: 1 },
                { tag: "two tasks", count: 2 },
                { tag: "three tasks", count: 3 },
            ]
        }

        function test_cellShowsTwoTasksAndBadge(data) {
            const names = ["<b>Call</b> & write", "Second", "Third"]
            for (let i = 0; i < data.count; ++i)
                addTask(names[i], [2026, 3, 22], 9 + i, [1, 30, 60][i], i === 1)
            showMonth(2026, 2)

            const target = cell("2026-03-22")
            const bars = findAll(target, "cellTask")
            compare(bars.length, Math.min(data.count, 2))
            // The label is shown as text, markup in a name included, after the level's square.
            const firstText = bars[0].children[0].text
            verify(firstText.indexOf("#ffffff") > 0)
            verify(firstText.endsWith("09:30 - &lt;b&gt;Call&lt;/b&gt; &amp; write"), firstText)
            if (data.count > 1) {
                compare(String(bars[1].border.color), "#721675")
                compare(String(bars[0].border.color), "#424242")
            }
            const badge = findChild(target, "countBadge")
            compare(badge.visible, data.count > 2)
            if (data.count < 3)
                return
            compare(badge.children[0].text, "3")

            mouseClick(badge)
            const list = dayList()
            tryVerify(() => list.opened)
            compare(list.title, "Sunday 2026-03-22")
            compare(findChild(list.contentItem, "taskCountLabel").text, "3 task")
            const entries = listEntries()
            compare(entries.length, 3)
            verify(entries[2].children[0].text.indexOf("#b266ff") > 0)
            verify(entries[2].children[0].text.endsWith("11:30 - Third"))
            list.close()
        }

        function test_dayListTitleAndEmptyDay_data() {
            return [
                { tag: "Sunday", key: "2026-03-22", title: "Sunday 2026-03-22" },
                { tag: "leap day", key: "2028-02-29", title: "Tuesday 2028-02-29" },
                { tag: "first day of a year", key: "2027-01-01", title: "Friday 2027-01-01" },
            ]
        }

        function test_dayListTitleAndEmptyDay(data) {
            page.openDayList(data.key)
            const list = dayList()
            tryVerify(() => list.opened)
            compare(list.title, data.title)
            compare(findChild(list.contentItem, "taskCountLabel").text, "No tasks for this date")
            list.close()
            tryVerify(() => !list.visible)
        }

        function test_arrowKeysMoveSelectionAcrossMonths() {
            addTask("In April", [2026, 4, 20], 10)
            showMonth(2026, 2)
            compare(taskService.taskCountForDate("2026-04-20"), 0)
            page.selectDay(new Date(2026, 2, 31))
            verify(page.activeFocus)

            keyClick(Qt.Key_Right)
            compare(page.selectedKey, "2026-04-01")
            compare(page.month, 3)
            compare(page.monthStartDate, "2026-03-30")
            compare(taskService.taskCountForDate("2026-04-20"), 1)
            compare(findAll(cell("2026-04-20"), "cellTask").length, 1)
            compare(String(cell("2026-04-01").border.color), "#721675")

            keyClick(Qt.Key_Up)
            compare(page.selectedKey, "2026-03-25")
            compare(page.month, 2)
            keyClick(Qt.Key_Down)
            keyClick(Qt.Key_Left)
            compare(page.selectedKey, "2026-03-31")
            compare(page.month, 2)

            // Month buttons move the grid, not the selection.
            mouseClick(findChild(page, "nextMonthButton"))
            compare(page.month, 3)
            compare(page.selectedKey, "2026-03-31")
            showMonth(2026, 11)
            mouseClick(findChild(page, "nextMonthButton"))
            compare(page.year, 2027)
            compare(page.month, 0)
            mouseClick(findChild(page, "previousMonthButton"))
            compare(page.year, 2026)
            compare(page.month, 11)
        }

        function test_monthChooserYearLimits_data() {
            return [
                { tag: "inside", typed: "1999", year: 1999 },
                { tag: "upper limit", typed: "2100", year: 2100 },
                { tag: "lower limit", typed: "1900", year: 1900 },
                { tag: "below", typed: "1850", year: 1900 },
            ]
        }

        function test_monthChooserYearLimits(data) {
            mouseClick(findChild(page, "monthTitle"))
            const chooser = findChild(page, "monthChooser")
            tryVerify(() => chooser.opened)
            const yearBox = findChild(chooser.contentItem, "yearBox")
            compare(yearBox.from, 1900)
            compare(yearBox.to, 2100)
            findChild(chooser.contentItem, "monthBox").currentIndex = 4
            mouseClick(yearBox.contentItem)
            keyClick(Qt.Key_A, Qt.ControlModifier)
            for (const digit of data.typed)
                keyClick(digit)
            chooser.accept()
            compare(page.year, data.year)
            compare(page.month, 4)
            compare(findChild(page, "monthTitle").text, "May " + data.year)
            verify(page.activeFocus)
        }

        function test_tapOnDayOrTask() {
            const id = addTask("Listed", [2026, 3, 10], 8)
            showMonth(2026, 2)
            const target = cell("2026-03-10")
            mouseClick(target, target.width - 5, target.height - 5)
            compare(window.openRequests.length, 1)
            compare(window.openRequests[0].taskId, 0)
            verify(/^2026-03-10 \d\d:\d\d$/.test(window.openRequests[0].expireAt), window.openRequests[0].expireAt)

            mouseClick(findAll(target, "cellTask")[0])
            compare(window.openRequests.length, 2)
            compare(window.openRequests[1].taskId, id)
            // A tap selects nothing: the selection stays on today.
            compare(page.selectedKey, Qt.formatDate(new Date(), "yyyy-MM-dd"))
        }

        function test_actionMenuRefreshesCellAndDayList() {
            const first = addTask("First", [2026, 3, 22], 9)
            addTask("Second", [2026, 3, 22], 10)
            addTask("Third", [2026, 3, 22], 11)
            showMonth(2026, 2)
            const menu = findChild(page, "calendarActionMenu")
            const toggle = findChild(menu.contentItem, "toggleButton")

            // From a cell: right click offers the actions, Open asks for the task.
            mouseClick(findAll(cell("2026-03-22"), "cellTask")[0], 5, 5, Qt.RightButton)
            tryVerify(() => menu.opened)
            compare(page.selectedCalendarTask.id, first)
            compare(toggle.text, "Set Done")
            mouseClick(findChild(menu.contentItem, "openButton"))
            tryVerify(() => !menu.visible)
            compare(window.openRequests[0].taskId, first)

            // From the day list: Set Done, then Delete; the cell and the open list follow both.
            page.openDayList("2026-03-22")
            const list = dayList()
            tryVerify(() => list.opened)
            mouseClick(listEntries()[0], 5, 5, Qt.RightButton)
            tryVerify(() => menu.opened)
            mouseClick(toggle)
            tryVerify(() => !menu.visible)
            compare(testSupport.scalar("SELECT active FROM tasks WHERE id = " + first), 1)
            compare(String(findAll(cell("2026-03-22"), "cellTask")[0].border.color), "#721675")
            compare(String(listEntries()[0].border.color), "#721675")

            mouseClick(listEntries()[0], 5, 5, Qt.RightButton)
            tryVerify(() => menu.opened)
            compare(toggle.text, "Set Pending")
            mouseClick(findChild(menu.contentItem, "deleteButton"))
            tryVerify(() => !menu.visible)
            compare(page.selectedCalendarTask, null)
            compare(testSupport.scalar("SELECT COUNT(*) FROM tasks WHERE id = " + first), 0)
            compare(listEntries().length, 2)
            compare(findChild(list.contentItem, "taskCountLabel").text, "2 task")
            verify(!findChild(cell("2026-03-22"), "countBadge").visible)
            verify(findAll(cell("2026-03-22"), "cellTask")[0].children[0].text.endsWith("10:30 - Second"))
            list.close()
        }

        function test_toggleUsesStoredState() {
            const id = addTask("Stale", [2026, 3, 22], 9)
            showMonth(2026, 2)
            // The listed task says open, but it was done meanwhile: the toggle opens it again.
            const listed = taskService.tasksForDate("2026-03-22")[0]
            testSupport.exec("UPDATE tasks SET active = 1 WHERE id = " + id)
            page.selectedCalendarTask = listed
            page.toggleSelectedTask()
            compare(testSupport.scalar("SELECT active FROM tasks WHERE id = " + id), 0)

            page.selectedCalendarTask = { label: "no id" }
            page.toggleSelectedTask()
            page.deleteSelectedTask()
            compare(testSupport.scalar("SELECT COUNT(*) FROM tasks"), 1)
        }
    }
}
