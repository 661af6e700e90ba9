<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name></name>
    <message id="FileNotFoundErr">
        <source>FileNotFoundErr</source>
        <translation>Die Datei konnte nicht gelesen werden.</translation>
    </message>
    <message id="FileNotFoundErrInfo">
        <source>FileNotFoundErrInfo</source>
        <translation>Prüfen Sie, ob die Datei vorhanden ist und ob Sie sie lesen dürfen.</translation>
    </message>
    <message id="WriteErr">
        <source>WriteErr</source>
        <translation>Die Datei konnte nicht geschrieben werden.</translation>
    </message>
    <message id="WriteErrInfo">
        <source>WriteErrInfo</source>
        <translation>Prüfen Sie, ob der Ordner vorhanden ist, ob Sie darin schreiben dürfen und ob auf dem Datenträger genug Platz frei ist.</translation>
    </message>
    <message id="FileDupErr">
        <source>FileDupErr</source>
        <translation>Eine Datei mit diesem Namen ist bereits vorhanden.</translation>
    </message>
    <message id="FileDupErrInfo">
        <source>FileDupErrInfo</source>
        <translation>Verschieben Sie die vorhandene Datei oder benennen Sie sie um, und versuchen Sie es erneut.</translation>
    </message>
    <message id="FileIsDamaged">
        <source>FileIsDamaged</source>
        <translation>Die Datei ist beschädigt.</translation>
    </message>
    <message id="FileIsDamagedOrInvalidKey">
        <source>FileIsDamagedOrInvalidKey</source>
        <translation>Die Datei ist beschädigt oder der Schlüssel ist falsch.</translation>
    </message>
    <message id="ProgressCancel">
        <source>ProgressCancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message id="UnknownError">
        <source>UnknownError</source>
        <translation>Fehler %2 (%1)</translation>
    </message>
</context>
</TS>
