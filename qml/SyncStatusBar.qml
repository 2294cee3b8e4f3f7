import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The line under the tabs that says how the sync stands, with "Sync now".
Rectangle {
    id: root

    implicitHeight: row.implicitHeight + 8
    color: "#252525"
    Accessible.role: Accessible.StatusBar
    Accessible.name: statusLabel.text

    RowLayout {
        id: row

        anchors.fill: parent
        anchors.leftMargin: 10
        anchors.rightMargin: 10
        spacing: 10

        Label {
            id: statusLabel

            objectName: "syncStatusLabel"
            Layout.fillWidth: true
            text: syncService.noticeCount > 0
                  ? qsTr("%1 %n task(s) with a sync notice.", "", syncService.noticeCount).arg(syncService.status)
                  : syncService.status
            color: syncService.error !== "" ? "#ff9966" : "#cccccc"
            elide: Text.ElideRight
        }

        ProgressBar {
            objectName: "syncProgress"
            Layout.preferredWidth: 120
            visible: syncService.busy
            indeterminate: syncService.progress < 0
            value: Math.max(0, syncService.progress)
            Accessible.name: qsTr("Sync progress")
        }

        Button {
            objectName: "syncCancelButton"
            text: qsTr("Cancel")
            visible: syncService.busy
            onClicked: syncService.cancel()
        }

        Button {
            objectName: "syncNowButton"
            text: qsTr("Sync now")
            enabled: !syncService.busy
            onClicked: syncService.syncNow()
        }
    }
}
