import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Universal
import QtQuick.Layouts

// Shown while a file gets its indexes once; closing it stops the work and ends the program.
ApplicationWindow {
    id: root

    width: 420
    height: 160
    visible: true
    title: qsTr("Duevia")
    Universal.theme: Universal.Dark
    Universal.accent: Universal.Violet

    onClosing: preparation.cancel()

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 24
        spacing: 12

        Label {
            Layout.fillWidth: true
            wrapMode: Text.WordWrap
            text: qsTr("Preparing the database file. This happens once and can take a few seconds.")
        }

        RowLayout {
            spacing: 12

            // Some steps take seconds on their own: the indicator shows that the work goes on.
            BusyIndicator {
                implicitWidth: 32
                implicitHeight: 32
                running: true
            }

            ProgressBar {
                objectName: "preparationProgress"
                Layout.fillWidth: true
                value: preparation.progress
            }
        }
    }
}
