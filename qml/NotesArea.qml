import QtQuick
import QtQuick.Controls
import QuilloQml

// The notes of a task or a customer; stops taking text at the longest notes that are stored.
TextArea {
    id: root
    Accessible.name: placeholderText

    placeholderText: qsTr("Add some notes here...")
    wrapMode: TextEdit.Wrap
    selectByMouse: true
    // Tab and Shift+Tab move on to the next control instead of typing a tab.
    KeyNavigation.priority: KeyNavigation.BeforeItem
    Keys.onTabPressed: event => root.nextItemInFocusChain(true).forceActiveFocus(Qt.TabFocusReason)
    Keys.onBacktabPressed: event => root.nextItemInFocusChain(false).forceActiveFocus(Qt.BacktabFocusReason)

    // A text area has no maximumLength: what goes past the limit, typed or pasted, is cut off.
    onTextChanged: {
        if (root.length > InputLimits.notesLength)
            root.remove(InputLimits.notesLength, root.length)
    }
}
