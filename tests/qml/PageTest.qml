import QtQuick
import QtTest

// The shared steps of the page tests: signs `user` in once, finds parts of `subject` by object name,
// types, and waits for popups to open or close.
TestCase {
    property string user: "alice"
    property var subject: null

    function initTestCase() {
        verify(testSupport.signIn(user) > 0)
    }

    function part(name, parent) {
        const item = findChild(parent ?? subject, name)
        verify(item, name)
        return item
    }

    function type(text) {
        for (const c of text)
            keyClick(c)
    }

    function opened(popup, action) {
        action()
        tryVerify(() => popup.opened)
    }

    function closed(popup, action) {
        action()
        tryVerify(() => !popup.visible)
    }

    function rightClick(item, menu) {
        opened(menu, () => mouseClick(item, 5, 5, Qt.RightButton))
    }

    // The rows a list view shows, laid out.
    function entries(view) {
        view.forceLayout()
        return Array.from({ length: view.count }, (_, i) => view.itemAtIndex(i))
    }

    when: windowShown
}
