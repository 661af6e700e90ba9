<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="The disc is busy.">
        <source>The disc is busy.</source>
        <translation>The disc is busy.</translation>
    </message>
    <message id="TryAgainAfterQuitApplication">
        <source>TryAgainAfterQuitApplication</source>
        <translation>Quit the applications that use the disc, then try again.</translation>
    </message>
    <message id="TrayNotOpened">
        <source>TrayNotOpened</source>
        <translation>The drive did not open its tray.</translation>
    </message>
    <message id="TrayNotOpenedInfo">
        <source>TrayNotOpenedInfo</source>
        <translation>Wait until the drive is ready, then try again.</translation>
    </message>
    <message id="TrayHasNoMotor">
        <source>TrayHasNoMotor</source>
        <translation>This drive cannot open or close its tray by itself: it has no tray motor.</translation>
    </message>
    <message id="TrayWillBeClosed">
        <source>TrayWillBeClosed</source>
        <translation>The tray will be closed in %1 seconds.</translation>
    </message>
    <message id="ThisIsFirstTime">
        <source>ThisIsFirstTime</source>
        <translation>This is the first time QNTraylift runs. Do you want to open QNTrayliftSetup to choose the drive and the auto-close options?</translation>
    </message>
    <message id="Yes">
        <source>Yes</source>
        <translation>Yes</translation>
    </message>
    <message id="No">
        <source>No</source>
        <translation>No</translation>
    </message>
    <message id="SystemNotSupported">
        <source>SystemNotSupported</source>
        <translation>This system is not supported.</translation>
    </message>
    <message id="RequiredSystem">
        <source>RequiredSystem</source>
        <translation>QNTraylift needs Linux 3.0 or later.</translation>
    </message>
    <message id="Leave Open">
        <source>Leave Open</source>
        <translation>Leave Open</translation>
    </message>
    <message id="Close Tray">
        <source>Close Tray</source>
        <translation>Close Tray</translation>
    </message>
    <message id="NoPermissionForDrive">
        <source>NoPermissionForDrive</source>
        <translation>You have no permission to open or close the tray of %1.</translation>
    </message>
    <message id="NoPermissionRemedies">
        <source>NoPermissionRemedies</source>
        <translation>Log in at this computer itself (not remotely), or ask an administrator to add you to the group “%2”, which owns %1, then log out and in again.</translation>
    </message>
</context>
</TS>
