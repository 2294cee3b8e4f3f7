import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The strip across the top of the window while the database is away, and briefly once it is back.
Rectangle {
    id: root

    readonly property bool lost: connectionKeeper.lost

    visible: connectionKeeper.lost || connectionKeeper.restored
    implicitHeight: column.implicitHeight + 12
    color: lost ? "#6b4400" : "#1e5224"

    ColumnLayout {
        id: column

        anchors.fill: parent
        anchors.margins: 6
        spacing: 2

        Label {
            id: connectionMessage
            objectName: "connectionMessage"
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            color: "white"
            font.bold: true
            text: !root.lost ? qsTr("Connected again")
                             : connectionKeeper.server ? qsTr("Connection to the server lost — retrying…")
                                                       : qsTr("The database file cannot be reached — retrying…")

            Announcement {
                text: connectionMessage.text
            }
        }

        Label {
            objectName: "connectionDetail"
            visible: root.lost
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            color: "white"
            text: qsTr("What is shown may not be current; changes cannot be saved until the connection is back.")
                  + (connectionKeeper.reason !== "" ? " (" + connectionKeeper.reason + ")" : "")
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
}
