<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name></name>
    <message id="NetworkDiagnostic">
        <source>NetworkDiagnostic</source>
        <translation>Netzwerkdiagnose</translation>
    </message>
    <message id="NetworkDiagnosticNoServer">
        <source>NetworkDiagnosticNoServer</source>
        <translation>Es gibt keine Serveradresse, die geprüft werden könnte.</translation>
    </message>
    <message id="NetworkDiagnosticReachable">
        <source>NetworkDiagnosticReachable</source>
        <translation>%1 ist über Port %2 erreichbar.</translation>
    </message>
    <message id="NetworkDiagnosticUnreachable">
        <source>NetworkDiagnosticUnreachable</source>
        <translation>%1 ist über Port %2 nicht erreichbar: %3</translation>
    </message>
    <message id="OK">
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
