// SPDX-License-Identifier: MIT
// A small desktop widget: the optical drives by vendor and product, a button
// per drive that opens or closes its tray, and a refresh that rescans.
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QNTraylift

ApplicationWindow {
    id: window
    title: qsTr("Optical Drives")
    width: 380
    height: 260
    visible: true

    // One row per drive of the last scan: {vendor, product}.
    ListModel {
        id: drives
        objectName: "drives"
    }

    function refresh() {
        QNTrayliftControl.scanDevices();
        drives.clear();
        const count = QNTrayliftControl.numberOfDevices();
        for (let i = 0; i < count; ++i) {
            drives.append({
                vendor: QNTrayliftControl.vendorNameAtIndex(i) ?? "",
                product: QNTrayliftControl.productNameAtIndex(i) ?? ""
            });
        }
    }

    Component.onCompleted: refresh()

    header: ToolBar {
        RowLayout {
            anchors.fill: parent
            anchors.leftMargin: 10
            anchors.rightMargin: 6
            Label {
                text: qsTr("Optical Drives")
                font.bold: true
                Layout.fillWidth: true
            }
            ToolButton {
                objectName: "refreshButton"
                text: qsTr("Refresh")
                onClicked: window.refresh()
            }
        }
    }

    ScrollView {
        anchors.fill: parent
        anchors.margins: 10

        ColumnLayout {
            width: window.width - 20
            spacing: 6

            Label {
                objectName: "emptyLabel"
                visible: drives.count === 0
                text: qsTr("No optical drive found.")
                color: "gray"
            }

            Repeater {
                model: drives
                delegate: Frame {
                    required property int index
                    required property string vendor
                    required property string product
                    Layout.fillWidth: true

                    RowLayout {
                        anchors.fill: parent
                        Label {
                            objectName: "driveLabel"
                            text: (vendor + " " + product).trim() || qsTr("Unnamed drive")
                            elide: Text.ElideRight
                            Layout.fillWidth: true
                        }
                        Button {
                            objectName: "ejectButton"
                            text: qsTr("Eject")
                            onClicked: QNTrayliftControl.ejectTrayWithDeviceIndex(index)
                        }
                    }
                }
            }
        }
    }
}
