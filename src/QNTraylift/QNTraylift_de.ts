<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name></name>
    <message id="The disc is busy.">
        <source>The disc is busy.</source>
        <translation>Das Medium wird gerade verwendet.</translation>
    </message>
    <message id="TryAgainAfterQuitApplication">
        <source>TryAgainAfterQuitApplication</source>
        <translation>Beenden Sie die Programme, die das Medium verwenden, und versuchen Sie es dann erneut.</translation>
    </message>
    <message id="TrayWillBeClosed">
        <source>TrayWillBeClosed</source>
        <translation>Die Schublade schließt in %1 Sekunden.</translation>
    </message>
    <message id="ThisIsFirstTime">
        <source>ThisIsFirstTime</source>
        <translation>QNTraylift wird zum ersten Mal gestartet. Möchten Sie QNTrayliftSetup öffnen, um das Laufwerk und das automatische Schließen einzustellen?</translation>
    </message>
    <message id="Yes">
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message id="No">
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message id="SystemNotSupported">
        <source>SystemNotSupported</source>
        <translation>Dieses System wird nicht unterstützt.</translation>
    </message>
    <message id="RequiredSystem">
        <source>RequiredSystem</source>
        <translation>QNTraylift benötigt Linux 3.0 oder neuer.</translation>
    </message>
    <message id="Leave Open">
        <source>Leave Open</source>
        <translation>Offen lassen</translation>
    </message>
    <message id="Close Tray">
        <source>Close Tray</source>
        <translation>Schließen</translation>
    </message>
    <message id="TrayNotOpened">
        <source>TrayNotOpened</source>
        <translation>Das Laufwerk hat seine Schublade nicht geöffnet.</translation>
    </message>
    <message id="TrayNotOpenedInfo">
        <source>TrayNotOpenedInfo</source>
        <translation>Warten Sie, bis das Laufwerk bereit ist, und versuchen Sie es dann erneut.</translation>
    </message>
    <message id="TrayHasNoMotor">
        <source>TrayHasNoMotor</source>
        <translation>Dieses Laufwerk kann seine Schublade nicht selbst öffnen oder schließen: Es hat keinen Schubladenmotor.</translation>
    </message>
    <message id="NoPermissionForDrive">
        <source>NoPermissionForDrive</source>
        <translation>Sie haben keine Berechtigung, die Schublade von %1 zu öffnen oder zu schließen.</translation>
    </message>
    <message id="NoPermissionRemedies">
        <source>NoPermissionRemedies</source>
        <translation>Melden Sie sich direkt an diesem Computer an (nicht aus der Ferne), oder bitten Sie einen Administrator, Sie in die Gruppe „%2“ aufzunehmen, der %1 gehört, und melden Sie sich danach ab und wieder an.</translation>
    </message>
</context>
</TS>
