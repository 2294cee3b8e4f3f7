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

    PageTest {
        name: "CalendarPage"
        user: "calendar-user"

        function init() {
            testSupport.exec("DELETE FROM tasks")
            window.openRequests = []
            subject = createTemporaryObject(calendarComponent, window)
        }

        function showMonth(year, month) {
            subject.showMonth(year, month)
            waitForRendering(subject)
        }

        function cell(key) {
            return part("dayCell_" + key)
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

        function listEntries() {
            return entries(part("taskListView", part("dayTaskList").contentItem))
        }

        function cleanup() {
            settings.language = ""
        }

        // The grid by keyboard, named in the chosen language: arrows, Return to the day's list and a task
        // in it, Ctrl+Return to a new task that day.
        function test_keyboardAndNames_data() {
            return [{ tag: "English", language: "en", weekday: "Mon", title: "March 2026", day: "Sunday 22 March, 2 tasks" },
                    { tag: "German", language: "de", weekday: "Mo", title: "März 2026", day: "Sonntag" }]
        }

        function test_keyboardAndNames(data) {
            settings.language = data.language
            addTask("First", [2026, 3, 22], 9)
            const second = addTask("Second", [2026, 3, 22], 10)
            showMonth(2026, 2)
            subject.selectDay(new Date(2026, 2, 21))
            keyClick(Qt.Key_Right)
            const name = cell("2026-03-22").Accessible.name
            verify(name.startsWith(data.day) && cell("2026-03-22").Accessible.selected, name)
            compare([part("weekdayRow").itemAt(0).text, part("monthTitle").text, part("selectionAnnouncement").text],
                    [data.weekday, data.title, name])
            opened(part("dayTaskList"), () => keyClick(Qt.Key_Return))
            keyClick(Qt.Key_Down)
            keyClick(Qt.Key_Return)
            closed(part("dayTaskList"), () => keyClick(Qt.Key_Escape))
            keyClick(Qt.Key_Return, Qt.ControlModifier)
            compare(window.openRequests.map(r => [r.taskId, String(r.expireAt).substring(0, 10)]),
                    [[second, "undefined"], [0, "2026-03-22"]])
        }

        function test_gridGeometry_data() {
            return [{ tag: "February 2027 starts on a Monday", year: 2027, month: 1, weeks: 4, first: "2027-02-01", last: "2027-02-28" },
                    { tag: "March 2026 starts on a Sunday", year: 2026, month: 2, weeks: 6, first: "2026-02-23", last: "2026-04-05" }]
        }

        function test_gridGeometry(data) {
            showMonth(data.year, data.month)
            compare([subject.weekCount, subject.monthStartDate, subject.monthEndDate], [data.weeks, data.first, data.last])
            const cells = Array.from(part("monthGrid").children).filter(c => c.objectName.startsWith("dayCell_"))
            compare([cells[0].objectName, cells[cells.length - 1].objectName], ["dayCell_" + data.first, "dayCell_" + data.last])
        }

        // Two task bars and a badge that opens the day's list; both follow a change made from the list.
        function test_cellBadgeAndDayList() {
            const first = addTask("<b>Call</b> & write", [2026, 3, 22], 9, 1)
            addTask("Second", [2026, 3, 22], 10, 30, true)
            addTask("Third", [2026, 3, 22], 11, 60)
            showMonth(2026, 2)
            const shown = bars("2026-03-22")
            compare(shown.length, 2)
            // The label is shown as text, markup in a name included, after the level's square.
            verify(shown[0].children[0].text.endsWith("09:30 - &lt;b&gt;Call&lt;/b&gt; &amp; write"))
            compare([String(shown[0].border.color), String(shown[1].border.color)], ["#424242", "#721675"])
            compare(shown[1].y - shown[0].y, shown[0].height + 4)
            opened(part("dayTaskList"), () => mouseClick(part("countBadge", cell("2026-03-22"))))
            compare([part("dayTaskList").title, listEntries().length], ["Sunday 2026-03-22", 3])
            const menu = part("calendarActionMenu")
            rightClick(listEntries()[0], menu)
            closed(menu, () => mouseClick(part("toggleButton", menu.contentItem)))
            compare(testSupport.scalar("SELECT active FROM tasks WHERE id = " + first), 1)
            compare([bars("2026-03-22")[0], listEntries()[0]].map(item => String(item.border.color)), ["#721675", "#721675"])
            rightClick(listEntries()[0], menu)
            closed(menu, () => mouseClick(part("deleteButton", menu.contentItem)))
            compare([listEntries().length, undoService.notice], [2, "Deleted task \"<b>Call</b> & write\""])
            // A change that fails says so.
            verify(testSupport.makeDatabaseReadOnly())
            rightClick(listEntries()[0], menu)
            closed(menu, () => mouseClick(part("toggleButton", menu.contentItem)))
            compare(undoService.notice, "Could not change the task.")
            verify(testSupport.makeDatabaseWritable())
            verify(!part("countBadge", cell("2026-03-22")).visible)
            verify(bars("2026-03-22")[0].children[0].text.endsWith("10:30 - Second"))
            part("dayTaskList").close()
        }
    }
}
