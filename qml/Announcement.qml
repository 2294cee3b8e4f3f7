import QtQuick

// What a screen reader says at once when it changes: an alert of one pixel beside the text it
// stands for (a Label itself is always read as plain text).
Item {
    id: root

    property string text

    implicitWidth: 1
    implicitHeight: 1
    Accessible.role: Accessible.AlertMessage
    Accessible.name: root.text
}
