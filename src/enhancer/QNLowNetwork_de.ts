<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name></name>
    <message id="NetworkDownloadProgressWindowTitle">
        <source>NetworkDownloadProgressWindowTitle</source>
        <translation>Herunterladen</translation>
    </message>
    <message id="NetworkUploadProgressWindowTitle">
        <source>NetworkUploadProgressWindowTitle</source>
        <translation>Hochladen</translation>
    </message>
</context>
</TS>
