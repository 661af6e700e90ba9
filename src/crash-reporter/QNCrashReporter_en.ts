<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="TerminateApplication">
        <source>TerminateApplication</source>
        <translation>The application %1 has terminated unexpectedly.</translation>
    </message>
    <message id="WindowTitle">
        <source>WindowTitle</source>
        <translation>Problem Report for %1</translation>
    </message>
</context>
</TS>
