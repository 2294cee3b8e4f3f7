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

        function test_toastOverwriteAndShow() {
            const toast = window.toastForTests
            const pages = window.pageStackForTests
            testSupport.signIn("toast-user")

            toast.showToast(7, "Task expiring soon: first", "Expire at: 2026-03-22 17:50")
            toast.showToast(8, "Task expiring soon: second", "")
            verify(toast.opened)
            compare(toast.taskId, 8)
            compare(toast.message, "Task expiring soon: second")
            verify(!findChild(toast.contentItem, "toastSubMessage").visible)

            window.showMaximized()
            let activated = -1
            toast.activated.connect(id => activated = id)
            mouseClick(findChild(toast.contentItem, "toastShowButton"))
            compare(activated, 8)
            tryVerify(() => !toast.visible)
            tryVerify(() => !pages.busy)
            verify(findChild(pages.currentItem, "homeTabBar") !== null)
            compare(pages.currentItem.focusTaskId, 8)
            compare(window.visibility, Window.Windowed)
        }

        function test_dueSoonNoticeOpensTask() {
            testSupport.signIn("due-user")
            verify(taskService.createTask("Other task", new Date(Date.now() + 9 * 60000), false))
            verify(taskService.createTask("Call back", new Date(Date.now() + 5 * 60000), false))
            const taskId = taskService.nextDueTask(10).id
            verify(taskId > 0)

            notifier.taskDueSoon(taskId, "Call back", "2026-03-22 17:50")
            const toast = window.toastForTests
            tryVerify(() => toast.opened)
            compare(toast.message, "Task expiring soon: Call back")
            compare(toast.subMessage, "Expire at: 2026-03-22 17:50")

            mouseClick(findChild(toast.contentItem, "toastShowButton"))
            const pages = window.pageStackForTests
            tryVerify(() => !pages.busy && findChild(pages.currentItem, "tasksPage") !== null)
            const tasksPage = findChild(pages.currentItem, "tasksPage")
            tryVerify(() => tasksPage.isTaskDialogOpen(), 3000)
            compare(findChild(tasksPage, "taskDialog").editingId, taskId)
        }

        function test_dismissKeepsValues() {
            const toast = window.toastForTests
            toast.showToast(3, "Task expiring soon: x", "Expire at: ")
            verify(findChild(toast.contentItem, "toastSubMessage").visible)
            mouseClick(findChild(toast.contentItem, "toastDismissButton"))
            tryVerify(() => !toast.visible)
            compare(toast.taskId, 3)
        }
    }
}
