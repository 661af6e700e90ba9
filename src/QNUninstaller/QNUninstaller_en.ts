<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="FinishedUninstalling">
        <source>FinishedUninstalling</source>
        <translation>QNTraylift has been removed. Click OK to quit.</translation>
    </message>
    <message id="UninstallRefusedItems">
        <source>UninstallRefusedItems</source>
        <translation>These entries of the uninstall list were left alone because removing them could damage the system:</translation>
    </message>
    <message id="Uninstall QNTraylift">
        <source>Uninstall QNTraylift</source>
        <translation>Uninstall QNTraylift</translation>
    </message>
    <message id="QNTraylift and all of its components will be removed from this computer. You will be asked for an administrator's password.">
        <source>QNTraylift and all of its components will be removed from this computer. You will be asked for an administrator's password.</source>
        <translation>QNTraylift and all of its components will be removed from this computer. You will be asked for an administrator's password.</translation>
    </message>
    <message id="Removing QNTraylift…">
        <source>Removing QNTraylift…</source>
        <translation>Removing QNTraylift…</translation>
    </message>
    <message id="Cancel">
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message id="OK">
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
