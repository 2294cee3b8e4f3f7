import QtQuick
import QtQuick.Controls

// The row of a dialog's standard buttons, named for a screen reader; the dialog's standardButtons
// fill it.
DialogButtonBox {
    Accessible.name: qsTr("Dialog buttons")
}
