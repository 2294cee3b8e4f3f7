import QtQuick
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

        function part(name, parent) {
            return findChild(parent ?? page, name)
        }

        function listEntries() {
            const view = part("taskListView", part("dayTaskList").contentItem)
            view.forceLayout()
            return Array.from({ length: view.count }, (_, i) => view.itemAtIndex(i))
        }

        function addTasks(count, day, done = false) {
            for (let i = 0; i < count; ++i)
                verify(taskService.createTask("Task " + i, new Date(day.getTime() + i * 60000), done, 1))
            return testSupport.scalar("SELECT MAX(id) FROM tasks")
        }

        // Clicks the bar of a day: the first set's bar sits left of the category's centre, the second's right.
        function clickBar(index, setIndex, value) {
            const chart = part("taskChart")
            waitForRendering(chart)
            const series = chart.series(0)
            const point = chart.mapToPosition(Qt.point(index + (setIndex === 0 ? -0.125 : 0.125), value / 2), series)
            mouseClick(chart, point.x, point.y)
        }

        function test_axisMaximumRule_data() {
            return [
                { tag: "no tasks", count: 0, max: 5 },
                { tag: "seven", count: 7, max: 8 },
                { tag: "ten", count: 10, max: 11 },
                { tag: "twenty-five", count: 25, max: 28 }
            ]
        }

        function test_axisMaximumRule(data) {
            addTasks(data.count, tomorrow)
            compare(taskService.dailyTotals.length, data.count > 0 ? 1 : 0)
            compare([page.chartMax, part("taskChart").series(0).axisY.max], [data.max, data.max])
        }

        function test_pickFilterAndClear() {
            addTasks(1, tomorrow)
            addTasks(2, new Date(tomorrow.getTime() + 5 * 86400000))
            compare(taskService.dailyLabels.length, 2)

            // A picked start shows in the field but the chart follows only on "Filter".
            mouseClick(part("expireFromField"))
            const picker = part("expirePicker")
            tryVerify(() => picker.opened)
            compare(Qt.formatDateTime(picker.tmpDate, "HH:mm"), "00:00")
            const start = new Date(tomorrow.getTime() + 2 * 86400000)
            part("datePicker", picker.contentItem).selectDate(start)
            mouseClick(part("pickerOkButton", picker.contentItem))
            tryVerify(() => !picker.visible)
            const startText = Qt.formatDate(start, "yyyy-MM-dd") + " 00:00"
            compare([page.expireFromText, part("expireFromField").text], [startText, startText])
            compare(taskService.dailyLabels.length, 2)
            mouseClick(part("filterButton"))
            compare([taskService.dailyTotals, taskService.statsExpireFrom()], [[2], startText])

            // An empty end field starts its picker at 23:59 today; Cancel changes nothing.
            mouseClick(part("expireToField"))
            tryVerify(() => picker.opened)
            compare(Qt.formatDateTime(picker.tmpDate, "yyyy-MM-dd HH:mm"),
                    Qt.formatDate(new Date(), "yyyy-MM-dd") + " 23:59")
            mouseClick(part("pickerCancelButton", picker.contentItem))
            tryVerify(() => !picker.visible)
            compare(page.expireToText, "")

            mouseClick(part("clearButton"))
            compare([page.expireFromText, page.expireToText, taskService.statsExpireFrom()], ["", "", ""])
            compare(taskService.dailyTotals, [1, 2])
        }

        function test_barClickOpensDayList() {
            const id = addTasks(3, tomorrow)
            taskService.updateTaskDone(id, true)
            const later = new Date(tomorrow.getTime() + 20 * 86400000)
            addTasks(1, later)
            // The day list reads the calendar's weeks: only tomorrow's are loaded.
            taskService.loadTasksForRange(tomorrowKey, tomorrowKey)
            compare([taskService.dailyTotals, taskService.dailyCompleted], [[3, 1], [1, 0]])

            const list = part("dayTaskList")
            const countLabel = () => part("taskCountLabel", list.contentItem).text
            clickBar(0, 1, 1)
            tryVerify(() => list.opened)
            compare([page.dialogDateKey, listEntries().length, countLabel()], [tomorrowKey, 3, "3 task"])
            mouseClick(listEntries()[0])
            compare(window.openRequests, [id - 2])
            list.close()
            tryVerify(() => !list.visible)

            clickBar(1, 0, 1)
            tryVerify(() => list.opened)
            compare([page.dialogDateKey, countLabel()], [Qt.formatDate(later, "yyyy-MM-dd"), "No tasks for this date"])
            list.close()
        }

        function test_statisticsFollowTasksChanged() {
            addTasks(2, tomorrow)
            compare(taskService.dailyTotals, [2])
            taskService.loadTasksForRange(tomorrowKey, tomorrowKey)
            page.openDayList(0)
            const list = part("dayTaskList")
            tryVerify(() => list.opened)
            const menu = part("chartActionMenu")
            const rightClick = item => { mouseClick(item, 5, 5, Qt.RightButton); tryVerify(() => menu.opened) }

            rightClick(listEntries()[1])
            mouseClick(part("toggleButton", menu.contentItem))
            tryVerify(() => !menu.visible)
            compare(taskService.dailyCompleted, [1])

            // The statistics and the open list follow every change, whoever made it.
            taskService.loadTasksForRange(tomorrowKey, tomorrowKey)
            compare(String(listEntries()[1].border.color), "#721675")
            rightClick(listEntries()[1])
            compare(part("toggleButton", menu.contentItem).text, "Set Pending")
            mouseClick(part("deleteButton", menu.contentItem))
            tryVerify(() => !menu.visible)
            compare([taskService.dailyTotals, taskService.dailyCompleted], [[1], [0]])
            taskService.loadTasksForRange(tomorrowKey, tomorrowKey)
            compare([listEntries().length, page.selectedChartTask], [1, null])

            addTasks(1, tomorrow)
            compare(taskService.dailyTotals, [2])
            list.close()
        }
    }
}
