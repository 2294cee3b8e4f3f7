import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Universal

ApplicationWindow {
    id: root

    // Brings the window forward and opens the task on a fresh home page.
    function openTaskFromToast(taskId) {
        root.showNormal()
        root.raise()
        root.requestActivate()
        pageStack.replace("HomePage.qml", { stackView: pageStack, focusTaskId: taskId })
    }

    width: 1300
    height: 700
    // Every page's bars, columns and boxes fit from this size up.
    minimumWidth: 1000
    minimumHeight: 600
    visible: true
    title: qsTr("Duevia")

    Universal.theme: Universal.Dark
    Universal.accent: Universal.Violet

    header: ConnectionBanner {
        objectName: "connectionBanner"
    }

    StackView {
        id: pageStack

        objectName: "pageStack"

        anchors.fill: parent
        Component.onCompleted: pageStack.push("LoginPage.qml", { stackView: pageStack })
    }

    Toast {
        id: toast

        objectName: "toast"

        onActivated: taskId => root.openTaskFromToast(taskId)
    }

    UndoBar {
        objectName: "undoBar"
    }

    Connections {
        target: notifier

        // Tasks that enter the warning window together share one notice; "Show" opens the first.
        function onTasksDueSoon(tasks) {
            const first = tasks[0]
            let message = qsTr("Task expiring soon: ") + first.name
            let sub = qsTr("Expire at: ") + first.expire_at_text
            if (tasks.length > 1) {
                const shown = tasks.slice(0, 5)
                const names = shown.map(task => task.name)
                if (tasks.length > shown.length)
                    names.push(qsTr("and %n more", "", tasks.length - shown.length))
                message = qsTr("%n tasks expiring soon: ", "", tasks.length) + names.join(", ")
                sub = qsTr("Expire at: ") + shown.map(task => task.expire_at_text)
                    .filter((text, i, all) => all.indexOf(text) === i).join(", ")
            }
            toast.showToast(first.id, message, sub)
            // A user in another program or with the window minimised would not see the toast.
            if (!root.active)
                desktopNotifier.notifyTasksDueSoon(tasks)
        }
    }

    Connections {
        target: desktopNotifier

        // "Show" on the desktop notification does what it does on the toast.
        function onActivated(taskId) {
            notifier.stopSound()
            if (toast.taskId === taskId)
                toast.close()
            root.openTaskFromToast(taskId)
        }
    }
}
