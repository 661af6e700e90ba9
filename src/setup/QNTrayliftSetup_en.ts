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
    <message id="EjectKeyOption">
        <source>EjectKeyOption</source>
        <translation>Open with the Eject key</translation>
    </message>
    <message id="EjectKeyExtra">
        <source>EjectKeyExtra</source>
        <translation>Also this key:</translation>
    </message>
    <message id="EjectKeyActionName">
        <source>EjectKeyActionName</source>
        <translation>Open or close the tray</translation>
    </message>
    <message id="EjectKeyBound">
        <source>EjectKeyBound</source>
        <translation>%1 now starts qneject with: %2.</translation>
    </message>
    <message id="EjectKeyUndoGnome">
        <source>EjectKeyUndoGnome</source>
        <translation>To undo it, turn this option off, or remove the shortcut “QNTraylift” under Settings › Keyboard › Keyboard Shortcuts › Custom Shortcuts.</translation>
    </message>
    <message id="EjectKeyUndoKde">
        <source>EjectKeyUndoKde</source>
        <translation>To undo it, turn this option off, or remove the command “QNTraylift” under System Settings › Shortcuts.</translation>
    </message>
    <message id="EjectKeyUndoXfce">
        <source>EjectKeyUndoXfce</source>
        <translation>To undo it, turn this option off, or remove the command qneject under Settings › Keyboard › Application Shortcuts.</translation>
    </message>
    <message id="EjectKeyTaken">
        <source>EjectKeyTaken</source>
        <translation>The key %1 is already used by “%2” and was left alone.</translation>
    </message>
    <message id="EjectKeyByHand">
        <source>EjectKeyByHand</source>
        <translation>The keys of this desktop (%1) cannot be set from here. Bind the Eject key (XF86Eject) by hand to this command in its keyboard settings:
%2</translation>
    </message>
    <message id="EjectKeyFailed">
        <source>EjectKeyFailed</source>
        <translation>The key could not be bound in %1: %2</translation>
    </message>
    <message id="EjectKeyRemoved">
        <source>EjectKeyRemoved</source>
        <translation>The Eject key no longer runs qneject in %1.</translation>
    </message>
    <message id="EjectKeyRemoveFailed">
        <source>EjectKeyRemoveFailed</source>
        <translation>The key binding could not be removed from %1: %2</translation>
    </message>
    <message id="EjectKeyUnsupportedKey">
        <source>EjectKeyUnsupportedKey</source>
        <translation>The key %1 cannot be bound from here; choose a letter, a digit or a function key with modifiers.</translation>
    </message>
    <message id="UnknownDesktop">
        <source>UnknownDesktop</source>
        <translation>unknown</translation>
    </message>
    <message id="EjectKeyPressKey">
        <source>EjectKeyPressKey</source>
        <translation>Press a key</translation>
    </message>
    <message id="EjectKeyName">
        <source>EjectKeyName</source>
        <translation>Eject</translation>
    </message>
    <message id="DriveButtonOption">
        <source>DriveButtonOption</source>
        <translation>Handle the drive's eject button</translation>
    </message>
    <message id="DriveButtonOn">
        <source>DriveButtonOn</source>
        <translation>The drive's eject button now opens the tray through QNTraylift, with unmount, panel and countdown (user service qntraylift-watch.service).</translation>
    </message>
    <message id="DriveButtonOff">
        <source>DriveButtonOff</source>
        <translation>The drive's eject button is left to the system again (user service qntraylift-watch.service disabled).</translation>
    </message>
    <message id="DriveButtonNoSystemctl">
        <source>DriveButtonNoSystemctl</source>
        <translation>systemctl was not found: the drive's eject button can only be handled on a system with systemd.</translation>
    </message>
    <message id="DriveButtonNotInstalled">
        <source>DriveButtonNotInstalled</source>
        <translation>The user service qntraylift-watch.service is not installed.</translation>
    </message>
    <message id="DriveButtonFailed">
        <source>DriveButtonFailed</source>
        <translation>systemctl could not change the user service qntraylift-watch.service: %1</translation>
    </message>
    <message id="DriveButtonStateUnknown">
        <source>DriveButtonStateUnknown</source>
        <translation>Whether the drive's eject button is handled could not be read from systemctl: %1</translation>
    </message>
</context>
</TS>
