import QtQuick
import QtTest

Item {
    id: root
    width: 800
    height: 600

    TestCase {
        name: "Main"
        function test_placeholder() { verify(auth !== null) }
    }
}
