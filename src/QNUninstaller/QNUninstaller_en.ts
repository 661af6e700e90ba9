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
    <message id="InstalledByPackageManager">
        <source>InstalledByPackageManager</source>
        <translation>QNTraylift was installed by the package manager, which removes it.</translation>
    </message>
    <message id="RemoveWithPackageManager">
        <source>RemoveWithPackageManager</source>
        <translation>To remove it, run: %1</translation>
    </message>
</context>
</TS>
