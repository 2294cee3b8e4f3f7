import QtQuick
import QtQuick.Controls
import QuilloQml

Item {
    id: root
    width: 200
    height: 200

    Component {
        id: mainComponent

        Main {}
    }

    PageTest {
        name: "MainWindow"
        user: "due-user"

        // A second notice while the toast is open overwrites it; Show opens exactly the announced task.
        function test_dueSoonNoticeOpensItsTask() {
            subject = createTemporaryObject(mainComponent, root)
            tryVerify(() => subject.active || subject.visible)
            verify(taskService.createTask("Call back", new Date(Date.now() + 5 * 60000), false))
            const taskId = taskService.nextDueTask(10).id
            const toast = part("toast")
            notifier.tasksDueSoon([{ id: taskId + 100, name: "Older", expire_at_text: "2026-03-22 17:00" }])
            notifier.tasksDueSoon([{ id: taskId + 101, name: "A", expire_at_text: "2026-03-22 17:50" },
                                   { id: taskId + 102, name: "B", expire_at_text: "2026-03-22 17:50" }])
            compare([toast.message, toast.subMessage], ["2 tasks expiring soon: A, B", "Expire at: 2026-03-22 17:50"])
            notifier.tasksDueSoon([{ id: taskId, name: "Call back", expire_at_text: "2026-03-22 17:50" }])
            tryVerify(() => toast.opened)
            compare([toast.message, toast.subMessage], ["Task expiring soon: Call back", "Expire at: 2026-03-22 17:50"])
            subject.showMaximized()
            closed(toast, () => mouseClick(part("toastShowButton", toast.contentItem)))
            compare(subject.visibility, Window.Windowed)
            const pages = part("pageStack")
            tryVerify(() => !pages.busy && findChild(pages.currentItem, "tasksPage") !== null)
            const tasksPage = part("tasksPage", pages.currentItem)
            tryVerify(() => tasksPage.isTaskDialogOpen(), 3000)
            compare(part("taskDialog", tasksPage).editingId, taskId)
            part("taskDialog", tasksPage).close()
            // Ctrl+Z takes a delete back while its notice shows.
            verify(undoService.deleteTask(taskId))
            tryVerify(() => part("undoBar").opened)
            keyClick(Qt.Key_Z, Qt.ControlModifier)
            compare([taskService.taskById(taskId).name, part("undoBar").visible], ["Call back", false])
        }
    }
}
