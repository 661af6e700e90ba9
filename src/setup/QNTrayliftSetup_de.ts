<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name></name>
    <message id="SetupWindowTitle">
        <source>SetupWindowTitle</source>
        <translation>QNTraylift einrichten</translation>
    </message>
    <message id="ConnectedDrives">
        <source>ConnectedDrives</source>
        <translation>Angeschlossene Laufwerke:</translation>
    </message>
    <message id="SetAsTarget">
        <source>SetAsTarget</source>
        <translation>Als Ziel festlegen</translation>
    </message>
    <message id="AutoCloseTray">
        <source>AutoCloseTray</source>
        <translation>Schublade automatisch schließen nach</translation>
    </message>
    <message id="Seconds">
        <source>Seconds</source>
        <translation>Sekunden</translation>
    </message>
    <message id="CheckTrays">
        <source>CheckTrays</source>
        <translation>Schubladen prüfen …</translation>
    </message>
    <message id="MenuFile">
        <source>MenuFile</source>
        <translation>&amp;Datei</translation>
    </message>
    <message id="MenuHelp">
        <source>MenuHelp</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message id="CloseWindow">
        <source>CloseWindow</source>
        <translation>Schließen</translation>
    </message>
    <message id="OfficialWebSite">
        <source>OfficialWebSite</source>
        <translation>QNTraylift im Web</translation>
    </message>
    <message id="ContactingForm">
        <source>ContactingForm</source>
        <translation>Kontakt aufnehmen …</translation>
    </message>
    <message id="ColumnTarget">
        <source>ColumnTarget</source>
        <translation>Ziel</translation>
    </message>
    <message id="ColumnVendor">
        <source>ColumnVendor</source>
        <translation>Hersteller</translation>
    </message>
    <message id="ColumnProduct">
        <source>ColumnProduct</source>
        <translation>Produkt</translation>
    </message>
    <message id="ColumnInterconnect">
        <source>ColumnInterconnect</source>
        <translation>Anschluss</translation>
    </message>
    <message id="ColumnSlotLoading">
        <source>ColumnSlotLoading</source>
        <translation>Slot-In</translation>
    </message>
    <message id="TargetDevice">
        <source>TargetDevice</source>
        <translation>Ziel</translation>
    </message>
    <message id="Yes">
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message id="No">
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message id="CheckTray">
        <source>CheckTray</source>
        <translation>Jetzt die Schubladen aller angeschlossenen Laufwerke prüfen?</translation>
    </message>
    <message id="OpenAndCloseTray">
        <source>OpenAndCloseTray</source>
        <translation>Jedes Laufwerk wirft sein Medium aus, öffnet seine Schublade und schließt sie wieder. Laufwerke, deren Schublade sich nicht öffnen und schließen lässt, werden als Slot-In-Laufwerke vermerkt; QNTraylift schließt sie nicht automatisch. Nehmen Sie vorher alle Medien, die Sie noch brauchen, aus den Laufwerken.</translation>
    </message>
    <message id="EjectKeyOption">
        <source>EjectKeyOption</source>
        <translation>Mit der Auswurftaste öffnen</translation>
    </message>
    <message id="EjectKeyExtra">
        <source>EjectKeyExtra</source>
        <translation>Auch diese Taste:</translation>
    </message>
    <message id="EjectKeyActionName">
        <source>EjectKeyActionName</source>
        <translation>Schublade öffnen oder schließen</translation>
    </message>
    <message id="EjectKeyBound">
        <source>EjectKeyBound</source>
        <translation>%1 startet qneject jetzt mit: %2.</translation>
    </message>
    <message id="EjectKeyUndoGnome">
        <source>EjectKeyUndoGnome</source>
        <translation>Zum Rückgängigmachen schalten Sie diese Option aus oder entfernen das Tastenkürzel „QNTraylift“ unter Einstellungen › Tastatur › Tastenkombinationen › Eigene Tastenkombinationen.</translation>
    </message>
    <message id="EjectKeyUndoKde">
        <source>EjectKeyUndoKde</source>
        <translation>Zum Rückgängigmachen schalten Sie diese Option aus oder entfernen den Befehl „QNTraylift“ unter Systemeinstellungen › Kurzbefehle.</translation>
    </message>
    <message id="EjectKeyUndoXfce">
        <source>EjectKeyUndoXfce</source>
        <translation>Zum Rückgängigmachen schalten Sie diese Option aus oder entfernen den Befehl qneject unter Einstellungen › Tastatur › Tastaturkürzel für Anwendungen.</translation>
    </message>
    <message id="EjectKeyTaken">
        <source>EjectKeyTaken</source>
        <translation>Die Taste %1 wird bereits von „%2“ verwendet und wurde nicht verändert.</translation>
    </message>
    <message id="EjectKeyByHand">
        <source>EjectKeyByHand</source>
        <translation>Die Tasten dieser Arbeitsumgebung (%1) lassen sich nicht von hier aus belegen. Belegen Sie die Auswurftaste (XF86Eject) in deren Tastatureinstellungen von Hand mit diesem Befehl:
%2</translation>
    </message>
    <message id="EjectKeyFailed">
        <source>EjectKeyFailed</source>
        <translation>Die Taste konnte in %1 nicht belegt werden: %2</translation>
    </message>
    <message id="EjectKeyRemoved">
        <source>EjectKeyRemoved</source>
        <translation>Die Auswurftaste startet qneject in %1 nicht mehr.</translation>
    </message>
    <message id="EjectKeyRemoveFailed">
        <source>EjectKeyRemoveFailed</source>
        <translation>Die Tastenbelegung konnte in %1 nicht entfernt werden: %2</translation>
    </message>
    <message id="EjectKeyUnsupportedKey">
        <source>EjectKeyUnsupportedKey</source>
        <translation>Die Taste %1 lässt sich nicht von hier aus belegen; wählen Sie einen Buchstaben, eine Ziffer oder eine Funktionstaste mit Zusatztasten.</translation>
    </message>
    <message id="UnknownDesktop">
        <source>UnknownDesktop</source>
        <translation>unbekannt</translation>
    </message>
    <message id="EjectKeyPressKey">
        <source>EjectKeyPressKey</source>
        <translation>Taste drücken</translation>
    </message>
    <message id="EjectKeyName">
        <source>EjectKeyName</source>
        <translation>Auswerfen</translation>
    </message>
    <message id="DiscBusyTrayNotChecked">
        <source>DiscBusyTrayNotChecked</source>
        <translation>Das Medium in %1 wird verwendet, deshalb wurde seine Schublade nicht geprüft. Beenden Sie die Programme, die das Medium verwenden (oder werfen Sie es aus), und prüfen Sie die Schubladen dann erneut.</translation>
    </message>
    <message id="NotChecked">
        <source>NotChecked</source>
        <translation>Nicht geprüft</translation>
    </message>
    <message id="DriveButtonOption">
        <source>DriveButtonOption</source>
        <translation>Auswurftaste des Laufwerks übernehmen</translation>
    </message>
    <message id="DriveButtonOn">
        <source>DriveButtonOn</source>
        <translation>Die Auswurftaste des Laufwerks öffnet die Schublade jetzt über QNTraylift, mit Aushängen, Fenster und Countdown (Benutzerdienst qntraylift-watch.service).</translation>
    </message>
    <message id="DriveButtonOff">
        <source>DriveButtonOff</source>
        <translation>Die Auswurftaste des Laufwerks bleibt wieder dem System überlassen (Benutzerdienst qntraylift-watch.service ausgeschaltet).</translation>
    </message>
    <message id="DriveButtonNoSystemctl">
        <source>DriveButtonNoSystemctl</source>
        <translation>systemctl wurde nicht gefunden: Die Auswurftaste des Laufwerks kann nur auf einem System mit systemd übernommen werden.</translation>
    </message>
    <message id="DriveButtonNotInstalled">
        <source>DriveButtonNotInstalled</source>
        <translation>Der Benutzerdienst qntraylift-watch.service ist nicht installiert.</translation>
    </message>
    <message id="DriveButtonFailed">
        <source>DriveButtonFailed</source>
        <translation>systemctl konnte den Benutzerdienst qntraylift-watch.service nicht ändern: %1</translation>
    </message>
    <message id="DriveButtonStateUnknown">
        <source>DriveButtonStateUnknown</source>
        <translation>Ob die Auswurftaste des Laufwerks übernommen wird, ließ sich von systemctl nicht erfahren: %1</translation>
    </message>
</context>
</TS>
