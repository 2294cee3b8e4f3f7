import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts

// The "Data" group of the settings dialog: import and export of tasks and the database backup,
// each through a file dialog, with the progress of the running job and a message of its result.
ColumnLayout {
    id: root

    readonly property string serverBackupText:
        qsTr("The database is on a server: back it up with the server's own tools, such as pg_dump.")

    // The text shown for a finished job; result is the map of taskTransfer's finished signal.
    function resultText(result) {
        if (result.cancelled)
            return result.operation === "import" ? qsTr("Import cancelled; nothing was imported.")
                                                 : qsTr("Cancelled; no file was written.")
        switch (result.error) {
        case "":
            break
        case "notCalendar":
            return qsTr("This file is not an iCalendar (.ics) file; nothing was imported.")
        case "cannotRead":
            return qsTr("Could not read %1.").arg(result.file)
        case "cannotWrite":
            return qsTr("Could not write %1.").arg(result.file)
        case "sameAsDatabase":
            return qsTr("That is the open database itself; choose another file.")
        case "serverBackup":
            return root.serverBackupText
        case "busy":
            return qsTr("Another transfer is still running.")
        case "notSignedIn":
            return qsTr("Sign in first.")
        case "damaged":
        case "tooLarge":
            return result.details
        default:
            return qsTr("The database could not be read or written; nothing was changed.")
        }
        switch (result.operation) {
        case "import":
            return qsTr("Imported %n tasks; %1 duplicates and %2 unusable entries skipped.", "", result.imported)
                .arg(result.duplicates).arg(result.skipped) + (result.details ? " " + result.details : "")
        case "backup":
            return qsTr("Database backed up to %1.").arg(result.file)
        default:
            return qsTr("Exported %n tasks to %1.", "", result.exported).arg(result.file)
        }
    }

    // Opens a save dialog on the proposed file of operation.
    function openSaveDialog(dialog, operation) {
        dialog.selectedFile = taskTransfer.suggestedFile(operation)
        dialog.open()
    }

    // Runs job on the file the save dialog chose, once an existing file may be replaced. The question
    // is always this panel's: Qt's own dialog does not ask, and the native ones are told not to.
    function saved(dialog, job) {
        const file = dialog.selectedFile
        if (!taskTransfer.fileExists(file)) {
            job(file)
            return
        }
        replaceDialog.path = taskTransfer.localPath(file)
        replaceDialog.job = () => job(file)
        replaceDialog.open()
    }

    spacing: 10
    onVisibleChanged: if (!visible) message.text = ""

    Label {
        Layout.topMargin: 16
        text: qsTr("Data")
        font.pointSize: 14
    }

    // Above the buttons, where a dialog scrolled down to them shows it at once.
    RowLayout {
        Layout.fillWidth: true
        visible: taskTransfer.busy

        ProgressBar {
            objectName: "transferProgress"
            Layout.fillWidth: true
            value: taskTransfer.progress
            indeterminate: taskTransfer.progress === 0
        }

        Button {
            objectName: "cancelTransferButton"
            text: qsTr("Cancel")
            onClicked: taskTransfer.cancel()
        }
    }

    Label {
        id: message

        objectName: "transferMessage"
        Layout.fillWidth: true
        wrapMode: Text.WrapAtWordBoundaryOrAnywhere
        visible: text !== ""
    }

    Flow {
        Layout.fillWidth: true
        spacing: 10
        enabled: !taskTransfer.busy

        Button {
            objectName: "importTasksButton"
            text: qsTr("Import tasks…")
            onClicked: importDialog.open()
        }

        Button {
            objectName: "exportTasksButton"
            text: qsTr("Export tasks…")
            onClicked: root.openSaveDialog(calendarDialog, "calendar")
        }

        Button {
            objectName: "exportCsvButton"
            text: qsTr("Export as CSV…")
            onClicked: root.openSaveDialog(csvDialog, "csv")
        }

        Button {
            objectName: "backupButton"
            visible: taskTransfer.backupAvailable
            text: qsTr("Back up database…")
            onClicked: root.openSaveDialog(backupDialog, "backup")
        }
    }

    Connections {
        target: taskTransfer

        function onBusyChanged() {
            if (taskTransfer.busy)
                message.text = ""
        }

        function onFinished(result) {
            message.text = root.resultText(result)
        }
    }

    Label {
        objectName: "serverBackupNote"
        Layout.fillWidth: true
        visible: !taskTransfer.backupAvailable
        text: root.serverBackupText
        color: "#bbbbbb"
        wrapMode: Text.WordWrap
    }

    FileDialog {
        id: importDialog

        objectName: "importFileDialog"
        title: qsTr("Import tasks")
        currentFolder: String(taskTransfer.suggestedFile("calendar")).replace(/\/[^\/]*$/, "")
        nameFilters: [qsTr("iCalendar files (*.ics *.ical *.ifb)"), qsTr("All files (*)")]
        onAccepted: taskTransfer.importCalendar(selectedFile)
    }

    FileDialog {
        id: calendarDialog

        objectName: "exportFileDialog"
        title: qsTr("Export tasks")
        fileMode: FileDialog.SaveFile
        options: FileDialog.DontConfirmOverwrite
        acceptLabel: qsTr("Save")
        defaultSuffix: "ics"
        nameFilters: [qsTr("iCalendar files (*.ics)"), qsTr("All files (*)")]
        onAccepted: root.saved(this, file => taskTransfer.exportCalendar(file))
    }

    FileDialog {
        id: csvDialog

        objectName: "csvFileDialog"
        title: qsTr("Export as CSV")
        fileMode: FileDialog.SaveFile
        options: FileDialog.DontConfirmOverwrite
        acceptLabel: qsTr("Save")
        defaultSuffix: "csv"
        nameFilters: [qsTr("CSV files (*.csv)"), qsTr("All files (*)")]
        onAccepted: root.saved(this, file => taskTransfer.exportCsv(file))
    }

    FileDialog {
        id: backupDialog

        objectName: "backupFileDialog"
        title: qsTr("Back up database")
        fileMode: FileDialog.SaveFile
        options: FileDialog.DontConfirmOverwrite
        acceptLabel: qsTr("Save")
        defaultSuffix: "db"
        nameFilters: [qsTr("SQLite database (*.db *.sqlite *.sqlite3)"), qsTr("All files (*)")]
        onAccepted: root.saved(this, file => taskTransfer.backupDatabase(file))
    }

    Dialog {
        id: replaceDialog

        property string path
        property var job: null

        objectName: "replaceFileDialog"
        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(480, parent ? parent.width - 24 : 480)
        modal: true
        standardButtons: Dialog.Ok | Dialog.Cancel
        footer: DialogButtons {}
        Component.onCompleted: standardButton(Dialog.Ok).text = qsTr("Replace")
        onAccepted: job()

        Label {
            id: question

            width: parent.width
            text: qsTr("Replace \"%1\"?").arg(replaceDialog.path)
            wrapMode: Text.WrapAtWordBoundaryOrAnywhere
        }
    }
}
