import QtQuick
import QtTest
import QuilloQml

// Runs east and west of UTC as well: a weekday or a day's tasks counted in the wrong zone show there.
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
        name: "CalendarPage"
        when: windowShown

        property var page: null

        function initTestCase() {
            verify(testSupport.signIn("calendar-user") > 0)
        }

        function init() {
            testSupport.exec("DELETE FROM tasks")
            window.openRequests = []
            page = createTemporaryObject(calendarComponent, window)
            verify(page)
        }

        // Shows a month and lets the layouts place its cells.
        function showMonth(year, month) {
            page.showMonth(year, month)
            waitForRendering(page)
        }

        function cell(key) {
            return findChild(page, "dayCell_" + key)
        }

        // The task bars the cell of a day shows.
        function bars(key, item = cell(key)) {
            const own = item.objectName === "cellTask" && item.visible ? [item] : []
            return own.concat(...Array.from(item.children).map(child => bars(key, child)))
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
            return Array.from({ length: view.count }, (_, i) => view.itemAtIndex(i))
        }

        function countLabel() {
            return findChild(dayList().contentItem, "taskCountLabel").text
        }

        function rightClick(item, menu) {
            mouseClick(item, 5, 5, Qt.RightButton)
            tryVerify(() => menu.opened)
        }

        function test_gridGeometry_data() {
            const row = (tag, year, month, weeks, first, last) =>
                ({ tag: tag, year: year, month: month, weeks: weeks, first: first, last: last })
            return [
                row("February 2027 starts on a Monday", 2027, 1, 4, "2027-02-01", "2027-02-28"),
                row("March 2026 starts on a Sunday", 2026, 2, 6, "2026-02-23", "2026-04-05"),
                row("January 2026 starts on a Thursday", 2026, 0, 5, "2025-12-29", "2026-02-01")
            ]
        }

        function test_gridGeometry(data) {
            showMonth(data.year, data.month)
            compare([page.weekCount, page.monthStartDate, page.monthEndDate], [data.weeks, data.first, data.last])
            const grid = findChild(page, "monthGrid")
            const cells = Array.from(grid.children).filter(c => c.objectName.startsWith("dayCell_"))
            compare(cells.length, data.weeks * 7)
            const [first, last] = [cells[0], cells[cells.length - 1]]
            compare([first.objectName, last.objectName], ["dayCell_" + data.first, "dayCell_" + data.last])
            compare(first.inShownMonth, data.first.substring(5, 7) === String(data.month + 1).padStart(2, "0"))
            // Cells share the grid evenly.
            fuzzyCompare(first.width, last.width, 1)
            fuzzyCompare(first.height, last.height, 1)
        }

        function test_cellShowsTwoTasksAndBadge_data() {
            return [{ tag: "1 task", count: 1 }, { tag: "2 tasks", count: 2 }, { tag: "3 tasks", count: 3 }]
        }

        function test_cellShowsTwoTasksAndBadge(data) {
            const names = ["<b>Call</b> & write", "Second", "Third"]
            for (let i = 0; i < data.count; ++i)
                addTask(names[i], [2026, 3, 22], 9 + i, [1, 30, 60][i], i === 1)
            showMonth(2026, 2)

            const shown = bars("2026-03-22")
            compare(shown.length, Math.min(data.count, 2))
            // The label is shown as text, markup in a name included, after the level's square.
            const firstText = shown[0].children[0].text
            verify(firstText.indexOf("#ffffff") > 0)
            verify(firstText.endsWith("09:30 - &lt;b&gt;Call&lt;/b&gt; &amp; write"), firstText)
            if (data.count > 1) {
                compare([String(shown[0].border.color), String(shown[1].border.color)], ["#424242", "#721675"])
                compare(shown[1].y - shown[0].y, shown[0].height + 4)
            }
            const badge = findChild(cell("2026-03-22"), "countBadge")
            compare(badge.visible, data.count > 2)
            if (data.count < 3)
                return
            compare(badge.children[0].text, "3")
            mouseClick(badge)
            tryVerify(() => dayList().opened)
            compare([dayList().title, countLabel()], ["Sunday 2026-03-22", "3 task"])
            const entries = listEntries()
            compare(entries.length, 3)
            verify(entries[2].children[0].text.indexOf("#b266ff") > 0)
            verify(entries[2].children[0].text.endsWith("11:30 - Third"))
            dayList().close()
        }

        function test_arrowKeysMoveSelectionAcrossMonths() {
            addTask("In April", [2026, 4, 20], 10)
            showMonth(2026, 2)
            compare(taskService.taskCountForDate("2026-04-20"), 0)
            page.selectDay(new Date(2026, 2, 31))
            verify(page.activeFocus)
            keyClick(Qt.Key_Right)
            compare([page.selectedKey, page.month, page.monthStartDate], ["2026-04-01", 3, "2026-03-30"])
            compare(taskService.taskCountForDate("2026-04-20"), 1)
            compare(bars("2026-04-20").length, 1)
            compare(String(cell("2026-04-01").border.color), "#721675")
        }

        function test_monthChooserYearLimits_data() {
            return [
                { tag: "upper limit", typed: "2100", year: 2100 },
                { tag: "below", typed: "1850", year: 1900 }
            ]
        }

        function test_monthChooserYearLimits(data) {
            mouseClick(findChild(page, "monthTitle"))
            const chooser = findChild(page, "monthChooser")
            tryVerify(() => chooser.opened)
            const yearBox = findChild(chooser.contentItem, "yearBox")
            compare([yearBox.from, yearBox.to], [1900, 2100])
            findChild(chooser.contentItem, "monthBox").currentIndex = 4
            mouseClick(yearBox.contentItem)
            keyClick(Qt.Key_A, Qt.ControlModifier)
            for (const digit of data.typed)
                keyClick(digit)
            chooser.accept()
            compare([page.year, page.month, findChild(page, "monthTitle").text], [data.year, 4, "May " + data.year])
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
            mouseClick(bars("2026-03-10")[0])
            compare(window.openRequests.map(request => request.taskId), [0, id])
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

            // From the day list: Set Done, then Delete; the cell and the open list follow both.
            page.openDayList("2026-03-22")
            tryVerify(() => dayList().opened)
            rightClick(listEntries()[0], menu)
            compare([page.selectedCalendarTask.id, toggle.text], [first, "Set Done"])
            mouseClick(toggle)
            tryVerify(() => !menu.visible)
            compare(testSupport.scalar("SELECT active FROM tasks WHERE id = " + first), 1)
            compare([bars("2026-03-22")[0], listEntries()[0]].map(item => String(item.border.color)),
                    ["#721675", "#721675"])

            rightClick(listEntries()[0], menu)
            compare(toggle.text, "Set Pending")
            mouseClick(findChild(menu.contentItem, "deleteButton"))
            tryVerify(() => !menu.visible)
            compare(page.selectedCalendarTask, null)
            compare(testSupport.scalar("SELECT COUNT(*) FROM tasks WHERE id = " + first), 0)
            compare([listEntries().length, countLabel()], [2, "2 task"])
            verify(!findChild(cell("2026-03-22"), "countBadge").visible)
            verify(bars("2026-03-22")[0].children[0].text.endsWith("10:30 - Second"))
            dayList().close()
        }
    }
}
