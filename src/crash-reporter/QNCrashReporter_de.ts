<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name></name>
    <message id="TerminateApplication">
        <source>TerminateApplication</source>
        <translation>Das Programm %1 wurde unerwartet beendet.</translation>
    </message>
    <message id="WindowTitle">
        <source>WindowTitle</source>
        <translation>Problembericht für %1</translation>
    </message>
</context>
</TS>
