<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="TrayWillBeClosed">
        <source>TrayWillBeClosed</source>
        <translation>The tray will be closed in %1 seconds.</translation>
    </message>
    <message id="NotYetTranslated">
        <source>NotYetTranslated</source>
        <translation>Only in English so far.</translation>
    </message>
</context>
</TS>
