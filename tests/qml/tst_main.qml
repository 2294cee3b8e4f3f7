import QtQuick
import QtQuick.Controls
import QtTest
import QuilloQml

Item {
    id: root

    width: 200
    height: 200

    Component {
        id: mainComponent

        Main {}
    }

    TestCase {
        name: "MainWindow"
        when: windowShown

        property var window: null

        function init() {
            window = createTemporaryObject(mainComponent, root)
            verify(window)
            tryVerify(() => window.active || window.visible)
        }

        function test_dueSoonNoticesShowTheLatestTask() {
            testSupport.signIn("due-user")
            verify(taskService.createTask("Call back", new Date(Date.now() + 5 * 60000), false))
            const taskId = taskService.nextDueTask(10).id
            verify(taskId > 0)

            // A second notice while the toast is open overwrites it in place.
            const toast = findChild(window, "toast")
            notifier.taskDueSoon(taskId + 100, "Older", "2026-03-22 17:00")
            notifier.taskDueSoon(taskId, "Call back", "2026-03-22 17:50")
            tryVerify(() => toast.opened)
            compare(toast.message, "Task expiring soon: Call back")
            compare(toast.subMessage, "Expire at: 2026-03-22 17:50")

            window.showMaximized()
            mouseClick(findChild(toast.contentItem, "toastShowButton"))
            tryVerify(() => !toast.visible)
            compare(window.visibility, Window.Windowed)
            const pages = findChild(window, "pageStack")
            tryVerify(() => !pages.busy && findChild(pages.currentItem, "tasksPage") !== null)
            const tasksPage = findChild(pages.currentItem, "tasksPage")
            tryVerify(() => tasksPage.isTaskDialogOpen(), 3000)
            compare(findChild(tasksPage, "taskDialog").editingId, taskId)
        }

        function test_dismissKeepsValues() {
            const toast = findChild(window, "toast")
            toast.showToast(3, "Task expiring soon: x", "")
            verify(!findChild(toast.contentItem, "toastSubMessage").visible)
            mouseClick(findChild(toast.contentItem, "toastDismissButton"))
            tryVerify(() => !toast.visible)
            compare(toast.taskId, 3)
        }
    }
}
