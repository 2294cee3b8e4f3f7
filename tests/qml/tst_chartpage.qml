import QtQuick
import QtQuick.Controls
import QtTest
import QuilloQml

Item {
    id: window

    property var openRequests: []

    // Stands in for the home page's entry point, which the page calls by its bare name.
    function forceOpenTask(taskId, expire_at, showCustomerButton) {
        openRequests.push(taskId)
    }

    width: 1100
    height: 800

    Component {
        id: chartComponent

        ChartPage {
            anchors.fill: parent
        }
    }

    TestCase {
        name: "ChartPage"
        when: windowShown

        property var page: null
        readonly property date tomorrow: {
            const now = new Date()
            return new Date(now.getFullYear(), now.getMonth(), now.getDate() + 1, 12, 0)
        }
        readonly property string tomorrowKey: Qt.formatDate(tomorrow, "yyyy-MM-dd")

        function series() {
            return findChild(page, "taskChart").series(0)
        }

        function listEntries() {
            const view = findChild(findChild(page, "dayTaskList").contentItem, "taskListView")
            view.forceLayout()
            const entries = []
            for (let i = 0; i < view.count; ++i)
                entries.push(view.itemAtIndex(i))
            return entries
        }

        function addTasks(count, day, done = false) {
            for (let i = 0; i < count; ++i)
                verify(taskService.createTask("Task " + i, new Date(day.getTime() + i * 60000), done, 1))
            return testSupport.scalar("SELECT MAX(id) FROM tasks")
        }

        // Clicks the bar of a day: the first set's bar sits left of the category's centre, the second's right.
        function clickBar(index, setIndex, value) {
            const chart = findChild(page, "taskChart")
            waitForRendering(chart)
            const point = chart.mapToPosition(Qt.point(index + (setIndex === 0 ? -0.125 : 0.125), value / 2), series())
            mouseClick(chart, point.x, point.y)
        }

        function initTestCase() {
            verify(testSupport.signIn("chart-user") > 0)
        }

        function init() {
            testSupport.exec("DELETE FROM tasks")
            taskService.loadStatistics()
            window.openRequests = []
            page = createTemporaryObject(chartComponent, window)
            verify(page)
        }

        function test_axisMaximumRule_data() {
            return [
                { tag: "no tasks", count: 0, max: 5 },
                { tag: "seven", count: 7, max: 8 },
                { tag: "ten", count: 10, max: 11 },
                { tag: "twenty-five", count: 25, max: 28 },
            ]
        }

        function test_axisMaximumRule(data) {
            addTasks(data.count, tomorrow)
            compare(taskService.dailyTotals.length, data.count > 0 ? 1 : 0)
            compare(page.chartMax, data.max)
            compare(series().axisY.max, data.max)
        }

        function test_axisMaximumOfOddValues_data() {
            return [
                { tag: "thirty is exact", values: [30], max: 33 },
                { tag: "texts and numbers", values: ["x", 7, "3"], max: 8 },
                { tag: "only negative", values: [-2], max: 5 },
            ]
        }

        function test_axisMaximumOfOddValues(data) {
            compare(page.axisMaximum(data.values), data.max)
        }

        function test_pickFilterAndClear() {
            addTasks(1, tomorrow)
            addTasks(2, new Date(tomorrow.getTime() + 5 * 86400000))
            compare(taskService.dailyLabels.length, 2)

            // A picked start shows in the field but the chart follows only on "Filter".
            mouseClick(findChild(page, "expireFromField"))
            const picker = findChild(page, "expirePicker")
            tryVerify(() => picker.opened)
            compare(Qt.formatDateTime(picker.tmpDate, "HH:mm"), "00:00")
            const start = new Date(tomorrow.getTime() + 2 * 86400000)
            findChild(picker.contentItem, "datePicker").selectDate(start)
            mouseClick(findChild(picker.contentItem, "pickerOkButton"))
            tryVerify(() => !picker.visible)
            const startText = Qt.formatDate(start, "yyyy-MM-dd") + " 00:00"
            compare(page.expireFromText, startText)
            compare(findChild(page, "expireFromField").text, startText)
            compare(taskService.dailyLabels.length, 2)
            mouseClick(findChild(page, "filterButton"))
            compare(taskService.dailyTotals, [2])
            compare(taskService.statsExpireFrom(), startText)

            // An empty end field starts its picker at 23:59 today; Cancel changes nothing.
            mouseClick(findChild(page, "expireToField"))
            tryVerify(() => picker.opened)
            compare(Qt.formatDateTime(picker.tmpDate, "yyyy-MM-dd HH:mm"),
                    Qt.formatDate(new Date(), "yyyy-MM-dd") + " 23:59")
            picker.close()
            tryVerify(() => !picker.visible)
            compare(page.expireToText, "")

            mouseClick(findChild(page, "clearButton"))
            compare(page.expireFromText, "")
            compare(page.expireToText, "")
            compare(taskService.statsExpireFrom(), "")
            compare(taskService.dailyTotals, [1, 2])
        }

        function test_rangeRestoredAndAppliedWhenShown() {
            const last = tomorrow
            const range = Qt.formatDate(last, "yyyy-MM-dd") + " 00:00"
            taskService.loadStatistics(range, "")
            page.visible = false
            const other = createTemporaryObject(chartComponent, window, { visible: false })
            compare(other.expireFromText, range)
            compare(other.expireToText, "")

            // Rows written behind the service's back show once the page is shown again.
            testSupport.exec("INSERT INTO tasks (user_id, name, level, active, expire_at, expire_at_epoch) "
                             + "SELECT id, 'direct', 1, 0, '" + tomorrow.toISOString() + "', "
                             + Math.floor(tomorrow.getTime() / 1000) + " FROM users")
            compare(taskService.dailyLabels.length, 0)
            other.visible = true
            compare(taskService.dailyLabels, [tomorrowKey])
        }

        function test_barClickOpensDayList() {
            const id = addTasks(3, tomorrow)
            taskService.updateTaskDone(id, true)
            const later = new Date(tomorrow.getTime() + 20 * 86400000)
            addTasks(1, later)
            // The day list reads the calendar's weeks: only tomorrow's are loaded.
            taskService.loadTasksForRange(tomorrowKey, tomorrowKey)
            compare(taskService.dailyTotals, [3, 1])
            compare(taskService.dailyCompleted, [1, 0])

            const list = findChild(page, "dayTaskList")
            clickBar(0, 1, 1)
            tryVerify(() => list.opened)
            compare(page.dialogDateKey, tomorrowKey)
            compare(listEntries().length, 3)
            compare(findChild(list.contentItem, "taskCountLabel").text, "3 task")
            mouseClick(listEntries()[0])
            compare(window.openRequests, [id - 2])
            list.close()
            tryVerify(() => !list.visible)

            clickBar(1, 0, 1)
            tryVerify(() => list.opened)
            compare(page.dialogDateKey, Qt.formatDate(later, "yyyy-MM-dd"))
            compare(findChild(list.contentItem, "taskCountLabel").text, "No tasks for this date")
            list.close()
            tryVerify(() => !list.visible)

            page.openDayList(2)
            page.openDayList(-1)
            verify(!list.opened)
        }

        function test_statisticsFollowTasksChanged() {
            const id = addTasks(2, tomorrow)
            compare(taskService.dailyTotals, [2])
            taskService.loadTasksForRange(tomorrowKey, tomorrowKey)
            page.openDayList(0)
            const list = findChild(page, "dayTaskList")
            tryVerify(() => list.opened)

            mouseClick(listEntries()[1], 5, 5, Qt.RightButton)
            const menu = findChild(page, "chartActionMenu")
            tryVerify(() => menu.opened)
            mouseClick(findChild(menu.contentItem, "toggleButton"))
            tryVerify(() => !menu.visible)
            compare(taskService.dailyCompleted, [1])

            // The statistics and the open list follow every change, whoever made it.
            taskService.loadTasksForRange(tomorrowKey, tomorrowKey)
            compare(String(listEntries()[1].border.color), "#721675")
            mouseClick(listEntries()[1], 5, 5, Qt.RightButton)
            tryVerify(() => menu.opened)
            compare(findChild(menu.contentItem, "toggleButton").text, "Set Pending")
            mouseClick(findChild(menu.contentItem, "deleteButton"))
            tryVerify(() => !menu.visible)
            compare(taskService.dailyTotals, [1])
            compare(taskService.dailyCompleted, [0])
            taskService.loadTasksForRange(tomorrowKey, tomorrowKey)
            compare(listEntries().length, 1)
            compare(page.selectedChartTask, null)

            addTasks(1, tomorrow)
            compare(taskService.dailyTotals, [2])
            list.close()
        }
    }
}
