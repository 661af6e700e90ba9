<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name></name>
    <message id="TrayWillBeClosed">
        <source>TrayWillBeClosed</source>
        <translation>Die Schublade wird in %1 Sekunden geschlossen.</translation>
    </message>
</context>
</TS>
