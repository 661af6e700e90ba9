<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="NetworkDiagnostic">
        <source>NetworkDiagnostic</source>
        <translation>Network Diagnostic</translation>
    </message>
    <message id="NetworkDiagnosticNoServer">
        <source>NetworkDiagnosticNoServer</source>
        <translation>There is no server address to check.</translation>
    </message>
    <message id="NetworkDiagnosticReachable">
        <source>NetworkDiagnosticReachable</source>
        <translation>%1 port %2 can be reached.</translation>
    </message>
    <message id="NetworkDiagnosticUnreachable">
        <source>NetworkDiagnosticUnreachable</source>
        <translation>%1 port %2 cannot be reached: %3</translation>
    </message>
    <message id="OK">
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
