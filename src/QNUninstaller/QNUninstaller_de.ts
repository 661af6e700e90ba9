<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name></name>
    <message id="FinishedUninstalling">
        <source>FinishedUninstalling</source>
        <translation>QNTraylift wurde entfernt. Klicken Sie auf „OK“, um das Programm zu beenden.</translation>
    </message>
    <message id="UninstallRefusedItems">
        <source>UninstallRefusedItems</source>
        <translation>Diese Einträge der Deinstallationsliste wurden nicht angetastet, weil ihr Entfernen das System beschädigen könnte:</translation>
    </message>
    <message id="Uninstall QNTraylift">
        <source>Uninstall QNTraylift</source>
        <translation>QNTraylift deinstallieren</translation>
    </message>
    <message id="QNTraylift and all of its components will be removed from this computer. You will be asked for an administrator's password.">
        <source>QNTraylift and all of its components will be removed from this computer. You will be asked for an administrator's password.</source>
        <translation>QNTraylift und alle zugehörigen Bestandteile werden von diesem Computer entfernt. Sie werden nach dem Passwort eines Administrators gefragt.</translation>
    </message>
    <message id="Removing QNTraylift…">
        <source>Removing QNTraylift…</source>
        <translation>QNTraylift wird entfernt …</translation>
    </message>
    <message id="Cancel">
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message id="OK">
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
