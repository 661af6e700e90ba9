<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="FileNotFoundErr">
        <source>FileNotFoundErr</source>
        <translation>The file could not be read.</translation>
    </message>
    <message id="FileNotFoundErrInfo">
        <source>FileNotFoundErrInfo</source>
        <translation>Check that the file exists and that you may read it.</translation>
    </message>
    <message id="WriteErr">
        <source>WriteErr</source>
        <translation>The file could not be written.</translation>
    </message>
    <message id="WriteErrInfo">
        <source>WriteErrInfo</source>
        <translation>Check that the folder exists, that you may write to it and that the disk has room.</translation>
    </message>
    <message id="FileDupErr">
        <source>FileDupErr</source>
        <translation>A file with the same name already exists.</translation>
    </message>
    <message id="FileDupErrInfo">
        <source>FileDupErrInfo</source>
        <translation>Move or rename the existing file and try again.</translation>
    </message>
    <message id="FileIsDamaged">
        <source>FileIsDamaged</source>
        <translation>The file is damaged.</translation>
    </message>
    <message id="FileIsDamagedOrInvalidKey">
        <source>FileIsDamagedOrInvalidKey</source>
        <translation>The file is damaged or the key is not the right one.</translation>
    </message>
    <message id="ProgressCancel">
        <source>ProgressCancel</source>
        <translation>Cancel</translation>
    </message>
    <message id="UnknownError">
        <source>UnknownError</source>
        <translation>%1 error %2</translation>
    </message>
</context>
</TS>
