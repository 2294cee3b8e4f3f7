import QtQuick
import QtTest
import QuilloQml

Item {
    id: window

    // Stands in for the home page's entry point, which the page calls by its bare name.
    function forceOpenTask(taskId, expire_at, showCustomerButton) {}

    width: 1100
    height: 800

    Component {
        id: chartComponent

        ChartPage {
            anchors.fill: parent
        }
    }

    PageTest {
        name: "ChartPage"
        user: "chart-user"

        readonly property date tomorrow: {
            const now = new Date()
            return new Date(now.getFullYear(), now.getMonth(), now.getDate() + 1, 12, 0)
        }
        readonly property string tomorrowKey: Qt.formatDate(tomorrow, "yyyy-MM-dd")

        function init() {
            testSupport.exec("DELETE FROM tasks")
            taskService.loadStatistics()
            subject = createTemporaryObject(chartComponent, window)
        }

        function listEntries() {
            return entries(part("taskListView", part("dayTaskList").contentItem))
        }

        function addTasks(count, day) {
            for (let i = 0; i < count; ++i)
                verify(taskService.createTask("Task " + i, new Date(day.getTime() + i * 60000), false, 1))
            return testSupport.scalar("SELECT MAX(id) FROM tasks")
        }

        // A click on a bar lists the day's tasks; the statistics, axis and list follow every change.
        function test_barListFollowsTasksChanged() {
            addTasks(2, tomorrow)
            taskService.loadTasksForRange(tomorrowKey, tomorrowKey)
            const chart = part("taskChart")
            compare(subject.chartMax, 3)
            waitForRendering(chart)
            const bar = chart.mapToPosition(Qt.point(-0.125, 1), chart.series(0))
            opened(part("dayTaskList"), () => mouseClick(chart, bar.x, bar.y))
            const menu = part("chartActionMenu")
            rightClick(listEntries()[1], menu)
            closed(menu, () => mouseClick(part("toggleButton", menu.contentItem)))
            compare(taskService.dailyCompleted, [1])
            rightClick(listEntries()[1], menu)
            closed(menu, () => mouseClick(part("deleteButton", menu.contentItem)))
            compare([taskService.dailyTotals, taskService.dailyCompleted], [[1], [0]])
            addTasks(1, tomorrow)
            compare(taskService.dailyTotals, [2])
            part("dayTaskList").close()
        }

        // The table in place of the chart: a row per day with its numbers, Return lists that day's tasks.
        function test_tableAlternative() {
            const later = new Date(tomorrow.getTime() + 86400000)
            const laterKey = Qt.formatDate(later, "yyyy-MM-dd")
            addTasks(2, tomorrow)
            verify(taskService.createTask("Done", tomorrow, true, 1))
            addTasks(1, later)
            taskService.loadTasksForRange(tomorrowKey, laterKey)
            mouseClick(part("tableButton"))
            const table = part("dayTable")
            waitForRendering(table)
            table.forceActiveFocus()
            compare(entries(table).map(row => row.Accessible.name.replace(/^.*: /, "")), ["3 tasks, 1 done", "1 task, 0 done"])
            keyClick(Qt.Key_Down)
            opened(part("dayTaskList"), () => keyClick(Qt.Key_Return))
            compare([subject.dialogDateKey, listEntries().length], [laterKey, 1])
            part("dayTaskList").close()
        }

        // Forty days with tasks: fewer labels, each a whole date, in place of forty cut ones.
        function test_denseDaysKeepReadableLabels() {
            for (let day = 0; day < 40; ++day)
                addTasks(1, new Date(tomorrow.getTime() - 10 * 86400000 + day * 86400000))
            taskService.loadStatistics()
            waitForRendering(part("taskChart"))
            const labels = part("dayLabels")
            verify(!part("taskChart").axisX(part("taskChart").series(0)).labelsVisible)
            verify(labels.count > 5 && labels.count < 20, labels.count)
            compare(labels.itemAt(1).text, taskService.dailyLabels[part("taskChart").labelStep])
        }
    }
}
