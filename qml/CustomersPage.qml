import QtQuick
import QtQuick.Controls

Item {
    id: root

    required property StackView stackView
    property var homePageRef: null
}
