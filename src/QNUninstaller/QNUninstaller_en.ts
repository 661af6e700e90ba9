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
    <message id="UninstallNothingRemoved">
        <source>UninstallNothingRemoved</source>
        <translation>Nothing was removed.</translation>
    </message>
    <message id="UninstallSomeRemoved">
        <source>UninstallSomeRemoved</source>
        <translation>%1 of %2 items were removed.</translation>
    </message>
    <message id="UninstallItemsLeft">
        <source>UninstallItemsLeft</source>
        <translation>These paths are still in place:</translation>
    </message>
    <message id="UninstallReasonCanceled">
        <source>UninstallReasonCanceled</source>
        <translation>The administrator password prompt was dismissed.</translation>
    </message>
    <message id="UninstallReasonDenied">
        <source>UninstallReasonDenied</source>
        <translation>Administrator rights were denied, or the privileged helper could not be started.</translation>
    </message>
    <message id="UninstallReasonNoElevator">
        <source>UninstallReasonNoElevator</source>
        <translation>The program that asks for administrator rights (pkexec) could not be started; it may not be installed.</translation>
    </message>
    <message id="UninstallReasonNoRemover">
        <source>UninstallReasonNoRemover</source>
        <translation>The remover %1 could not be started, or the privileged helper does not allow it.</translation>
    </message>
    <message id="UninstallReasonOther">
        <source>UninstallReasonOther</source>
        <translation>Authorization failed (status %1).</translation>
    </message>
    <message id="UninstallListMissing">
        <source>UninstallListMissing</source>
        <translation>The list of installed files is missing: %1</translation>
    </message>
    <message id="UninstallListUnreadable">
        <source>UninstallListUnreadable</source>
        <translation>The list of installed files cannot be read (it is damaged or was not made for this uninstaller): %1</translation>
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
