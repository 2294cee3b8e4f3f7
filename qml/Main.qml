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
    visible: true
    title: qsTr("Duevia")

    Universal.theme: Universal.Dark
    Universal.accent: Universal.Violet

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

    Connections {
        target: notifier

        function onTaskDueSoon(taskId, name, expireAtText) {
            toast.showToast(taskId, qsTr("Task expiring soon: ") + name, qsTr("Expire at: ") + expireAtText)
            // A user in another program or with the window minimised would not see the toast.
            if (!root.active)
                desktopNotifier.notifyTaskDueSoon(taskId, name, expireAtText)
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
