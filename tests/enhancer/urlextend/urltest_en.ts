<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="Yes">
        <source>Yes</source>
        <translation>Yes, it is</translation>
    </message>
    <message id="No">
        <source>No</source>
        <translation>No, it is not</translation>
    </message>
</context>
</TS>
