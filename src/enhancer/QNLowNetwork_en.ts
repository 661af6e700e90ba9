<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="NetworkDownloadProgressWindowTitle">
        <source>NetworkDownloadProgressWindowTitle</source>
        <translation>Downloading</translation>
    </message>
    <message id="NetworkUploadProgressWindowTitle">
        <source>NetworkUploadProgressWindowTitle</source>
        <translation>Uploading</translation>
    </message>
</context>
</TS>
