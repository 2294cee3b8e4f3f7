import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The "Server" group of the settings dialog: the connection string of a shared database, stored by
// apply() when the dialog is accepted, and a test of it that runs in the background.
ColumnLayout {
    id: root

    property bool refused: false

    // Stores the typed string; false when the settings refuse it (its reason then shows here).
    function apply() {
        refused = false
        settings.dbServer = field.text
        return !refused
    }

    spacing: 10
    // Each showing starts from the saved string, except right after a refused one.
    onVisibleChanged: {
        if (!visible)
            return
        if (refused) {
            refused = false
            field.forceActiveFocus()
            return
        }
        field.text = settings.dbServer
        message.text = ""
    }

    Label {
        Layout.fillWidth: true
        text: qsTr("Server:")
        font.pointSize: 12
        wrapMode: Text.WordWrap
    }

    TextField {
        id: field

        objectName: "dbServerField"
        Layout.fillWidth: true
        selectByMouse: true
        text: settings.dbServer
        placeholderText: qsTr("host=db.example port=5432 dbname=duevia user=anna")
        Accessible.name: qsTr("Server")
    }

    RowLayout {
        Button {
            objectName: "testConnectionButton"
            text: qsTr("Test connection")
            enabled: !connectionTest.busy && field.text.trim() !== ""
            onClicked: {
                message.text = ""
                connectionTest.test(field.text)
            }
        }

        BusyIndicator {
            objectName: "connectionTestBusy"
            Layout.preferredWidth: 32
            Layout.preferredHeight: 32
            running: connectionTest.busy
            visible: running
        }
    }

    Label {
        objectName: "serverWarning"
        Layout.fillWidth: true
        text: connectionTest.securityWarning(field.text)
        visible: text !== ""
        color: "#ffb74d"
        wrapMode: Text.WordWrap
    }

    Label {
        id: message

        objectName: "serverMessage"
        Layout.fillWidth: true
        wrapMode: Text.Wrap
        visible: text !== ""
    }

    Label {
        Layout.fillWidth: true
        text: qsTr("Restart the app to use a changed server. While a server is set, the database path is not used; the password comes from ~/.pgpass.")
        color: "#bbbbbb"
        wrapMode: Text.WordWrap
    }

    Connections {
        target: settings

        function onDbServerRefused(reason) {
            root.refused = true
            message.text = reason
        }
    }

    Connections {
        target: connectionTest

        function onFinished(ok, detail) {
            message.text = ok ? qsTr("Connected to PostgreSQL %1.").arg(detail)
                              : qsTr("Cannot connect: %1").arg(detail)
        }
    }
}
