<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="SetupWindowTitle">
        <source>SetupWindowTitle</source>
        <translation>QNTraylift Setup</translation>
    </message>
    <message id="ConnectedDrives">
        <source>ConnectedDrives</source>
        <translation>Connected drives:</translation>
    </message>
    <message id="SetAsTarget">
        <source>SetAsTarget</source>
        <translation>Set as Target</translation>
    </message>
    <message id="AutoCloseTray">
        <source>AutoCloseTray</source>
        <translation>Close the tray automatically after</translation>
    </message>
    <message id="Seconds">
        <source>Seconds</source>
        <translation>seconds</translation>
    </message>
    <message id="CheckTrays">
        <source>CheckTrays</source>
        <translation>Check Trays…</translation>
    </message>
    <message id="MenuFile">
        <source>MenuFile</source>
        <translation>&amp;File</translation>
    </message>
    <message id="MenuHelp">
        <source>MenuHelp</source>
        <translation>&amp;Help</translation>
    </message>
    <message id="CloseWindow">
        <source>CloseWindow</source>
        <translation>Close</translation>
    </message>
    <message id="OfficialWebSite">
        <source>OfficialWebSite</source>
        <translation>QNTraylift Web Site</translation>
    </message>
    <message id="ContactingForm">
        <source>ContactingForm</source>
        <translation>Contact Us…</translation>
    </message>
    <message id="ColumnTarget">
        <source>ColumnTarget</source>
        <translation>Target</translation>
    </message>
    <message id="ColumnVendor">
        <source>ColumnVendor</source>
        <translation>Vendor</translation>
    </message>
    <message id="ColumnProduct">
        <source>ColumnProduct</source>
        <translation>Product</translation>
    </message>
    <message id="ColumnInterconnect">
        <source>ColumnInterconnect</source>
        <translation>Interconnect</translation>
    </message>
    <message id="ColumnSlotLoading">
        <source>ColumnSlotLoading</source>
        <translation>Slot-loading</translation>
    </message>
    <message id="TargetDevice">
        <source>TargetDevice</source>
        <translation>Target</translation>
    </message>
    <message id="Yes">
        <source>Yes</source>
        <translation>Yes</translation>
    </message>
    <message id="No">
        <source>No</source>
        <translation>No</translation>
    </message>
    <message id="DiscBusyTrayNotChecked">
        <source>DiscBusyTrayNotChecked</source>
        <translation>The disc in %1 is in use, so its tray was not checked. Quit the applications that use the disc (or eject it), then check the trays again.</translation>
    </message>
    <message id="NotChecked">
        <source>NotChecked</source>
        <translation>Not checked</translation>
    </message>
    <message id="CheckTray">
        <source>CheckTray</source>
        <translation>Check the trays of all connected drives now?</translation>
    </message>
    <message id="OpenAndCloseTray">
        <source>OpenAndCloseTray</source>
        <translation>Every drive ejects its disc, opens its tray and closes it again. Drives whose tray cannot be opened and closed are remembered as slot-loading, and QNTraylift will not close them automatically. Take any disc you need out of the drives first.</translation>
    </message>
</context>
</TS>
