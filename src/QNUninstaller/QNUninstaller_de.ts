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
    <message id="InstalledByPackageManager">
        <source>InstalledByPackageManager</source>
        <translation>QNTraylift wurde mit der Paketverwaltung installiert, die es auch entfernt.</translation>
    </message>
    <message id="RemoveWithPackageManager">
        <source>RemoveWithPackageManager</source>
        <translation>Zum Entfernen führen Sie aus: %1</translation>
    </message>
    <message id="UninstallNothingRemoved">
        <source>UninstallNothingRemoved</source>
        <translation>Es wurde nichts entfernt.</translation>
    </message>
    <message id="UninstallSomeRemoved">
        <source>UninstallSomeRemoved</source>
        <translation>%1 von %2 Einträgen wurden entfernt.</translation>
    </message>
    <message id="UninstallItemsLeft">
        <source>UninstallItemsLeft</source>
        <translation>Diese Pfade sind noch vorhanden:</translation>
    </message>
    <message id="UninstallReasonCanceled">
        <source>UninstallReasonCanceled</source>
        <translation>Die Abfrage des Administratorpassworts wurde geschlossen.</translation>
    </message>
    <message id="UninstallReasonDenied">
        <source>UninstallReasonDenied</source>
        <translation>Die Administratorrechte wurden verweigert, oder das privilegierte Hilfsprogramm konnte nicht gestartet werden.</translation>
    </message>
    <message id="UninstallReasonNoElevator">
        <source>UninstallReasonNoElevator</source>
        <translation>Das Programm, das nach Administratorrechten fragt (pkexec), konnte nicht gestartet werden; vielleicht ist es nicht installiert.</translation>
    </message>
    <message id="UninstallReasonNoRemover">
        <source>UninstallReasonNoRemover</source>
        <translation>Das Entfernungsprogramm %1 konnte nicht gestartet werden, oder das privilegierte Hilfsprogramm erlaubt es nicht.</translation>
    </message>
    <message id="UninstallReasonOther">
        <source>UninstallReasonOther</source>
        <translation>Die Autorisierung ist fehlgeschlagen (Status %1).</translation>
    </message>
    <message id="UninstallListMissing">
        <source>UninstallListMissing</source>
        <translation>Die Liste der installierten Dateien fehlt: %1</translation>
    </message>
    <message id="UninstallListUnreadable">
        <source>UninstallListUnreadable</source>
        <translation>Die Liste der installierten Dateien kann nicht gelesen werden (sie ist beschädigt oder wurde nicht für dieses Deinstallationsprogramm erstellt): %1</translation>
    </message>
</context>
</TS>
