import QtQuick
import QtQuick.Controls

Item {
    id: root

    required property StackView stackView
    property int focusTaskId: -1

    function isTaskDialogOpen() { return false }
    function openNewTask(expireDateTime) {}
    function openTask(taskId, showCustomerButton) {}
}
