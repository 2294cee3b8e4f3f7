import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

Page {
    id: root
    Accessible.name: qsTr("Duevia")

    required property StackView stackView
    property int initialTabIndex: 0
    property int focusTaskId: -1
    // A home page being replaced by another one must not compete for the same keys.
    readonly property bool shortcutsEnabled: root.visible && root.StackView.status === StackView.Active

    // Opens the task dialog of the tasks page over whatever tab is shown; taskId 0 creates a task.
    function forceOpenTask(taskId, expire_at = null, showCustomerButton = true) {
        if (tasksPage.isTaskDialogOpen())
            return
        if (taskId === 0)
            tasksPage.openNewTask(expire_at)
        else
            tasksPage.openTask(taskId, showCustomerButton)
    }

    function logout() {
        auth.logout()
        root.stackView.replace("LoginPage.qml", { stackView: root.stackView })
    }

    background: Rectangle {
        color: "#1e1e1e"
    }

    Component.onCompleted: tabBar.currentIndex = root.initialTabIndex

    // Window shortcuts, so that Qt holds them back while any modal dialog or popup of the window is
    // open: a tab switch behind a dialog would leave the dialog over a page no longer shown.
    Shortcut {
        sequences: ["Alt+1"]
        context: Qt.WindowShortcut
        enabled: root.shortcutsEnabled
        onActivated: tabBar.currentIndex = 0
    }

    Shortcut {
        sequences: ["Alt+2"]
        context: Qt.WindowShortcut
        enabled: root.shortcutsEnabled
        onActivated: tabBar.currentIndex = 1
    }

    Shortcut {
        sequences: ["Alt+3"]
        context: Qt.WindowShortcut
        enabled: root.shortcutsEnabled
        onActivated: tabBar.currentIndex = 2
    }

    Shortcut {
        sequences: ["Alt+4"]
        context: Qt.WindowShortcut
        enabled: root.shortcutsEnabled
        onActivated: tabBar.currentIndex = 3
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 42

            gradient: Gradient {
                GradientStop { position: 0.0; color: "#b266ff" }
                GradientStop { position: 1.0; color: "#1f1f1f" }
            }

            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: 10
                anchors.rightMargin: 10
                spacing: 12

                Label {
                    text: qsTr("Duevia")
                    color: "white"
                    font.bold: true
                }

                Item {
                    Layout.fillWidth: true
                }

                TabBar {
                    id: tabBar

                    objectName: "homeTabBar"
                    Accessible.name: qsTr("Pages")
                    font.pixelSize: 16
                    spacing: 4

                    background: null

                    // The tabs not shown stay readable (4.5:1 on their darkened part of the bar); the
                    // shown one is white and underlined.
                    Repeater {
                        model: [qsTr("Tasks"), qsTr("Calendar"), qsTr("Customers"), qsTr("Task chart")]

                        TabButton {
                            id: tab
                            required property string modelData
                            text: tab.modelData
                            width: implicitWidth
                            contentItem: Text {
                                text: tab.text
                                font: tab.font
                                color: tab.checked ? "white" : "#e4d8f0"
                                horizontalAlignment: Text.AlignHCenter
                                verticalAlignment: Text.AlignVCenter
                                Accessible.ignored: true
                            }
                            background: Rectangle {
                                color: tab.checked ? "transparent" : "#40000000"
                                border.width: tab.visualFocus ? 1 : 0
                                border.color: "white"
                                Rectangle {
                                    visible: tab.checked
                                    anchors.bottom: parent.bottom
                                    width: parent.width
                                    height: 2
                                    color: "white"
                                }
                            }
                        }
                    }
                }

                Button {
                    objectName: "settingsButton"
                    text: qsTr("Settings")
                    onClicked: settingsDialog.open()
                }

                Button {
                    objectName: "logoutButton"
                    text: qsTr("Logout")
                    onClicked: root.logout()
                }
            }
        }

        StackLayout {
            id: tabPages

            objectName: "homeTabPages"
            Layout.fillWidth: true
            Layout.fillHeight: true
            currentIndex: tabBar.currentIndex

            TasksPage {
                id: tasksPage

                objectName: "tasksPage"
                stackView: root.stackView
                focusTaskId: root.focusTaskId
            }

            // The other tabs are built the first time they are shown, so that signing in builds the
            // tasks alone.
            Loader {
                id: calendarLoader
                active: false
                // The calendar takes the keys within the home page, as it did built at once.
                focus: true
                sourceComponent: CalendarPage {
                    objectName: "calendarPage"
                }
            }

            Loader {
                id: customersLoader
                active: false
                sourceComponent: CustomersPage {
                    objectName: "customersPage"
                    stackView: root.stackView
                    homePageRef: root
                }
            }

            Loader {
                id: chartLoader
                active: false
                sourceComponent: ChartPage {
                    objectName: "chartPage"
                }
            }

            onCurrentIndexChanged: {
                const loader = [null, calendarLoader, customersLoader, chartLoader][currentIndex]
                if (loader)
                    loader.active = true
            }
        }

        SyncStatusBar {
            objectName: "syncStatusBar"
            Layout.fillWidth: true
            visible: syncService.configured
        }
    }

    SettingsDialog {
        id: settingsDialog

        objectName: "settingsDialog"
    }
}
