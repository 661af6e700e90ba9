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
</context>
</TS>
