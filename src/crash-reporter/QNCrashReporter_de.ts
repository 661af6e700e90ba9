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
    <message id="CrashReporterTitle">
        <source>CrashReporterTitle</source>
        <translation>Absturzbericht</translation>
    </message>
    <message id="ButtonClose">
        <source>ButtonClose</source>
        <translation>Schließen</translation>
    </message>
    <message id="ButtonShowReport">
        <source>ButtonShowReport</source>
        <translation>Bericht anzeigen</translation>
    </message>
    <message id="ButtonReopen">
        <source>ButtonReopen</source>
        <translation>Erneut öffnen</translation>
    </message>
    <message id="ButtonSend">
        <source>ButtonSend</source>
        <translation>Senden</translation>
    </message>
    <message id="ReportWillBeSent">
        <source>ReportWillBeSent</source>
        <translation>Dieser Bericht wird gesendet:</translation>
    </message>
    <message id="CommentLabel">
        <source>CommentLabel</source>
        <translation>Kommentar (was haben Sie gerade getan?):</translation>
    </message>
    <message id="SendingReport">
        <source>SendingReport</source>
        <translation>Der Bericht wird gesendet …</translation>
    </message>
    <message id="URLConnectFailed">
        <source>URLConnectFailed</source>
        <translation>Die Verbindung zur Adresse ist fehlgeschlagen.</translation>
    </message>
    <message id="SchemeNotSupported">
        <source>SchemeNotSupported</source>
        <translation>Das Schema „%1“ wird nicht unterstützt.</translation>
    </message>
    <message id="URLNotFound">
        <source>URLNotFound</source>
        <translation>Die Adresse wurde nicht gefunden.</translation>
    </message>
    <message id="URLNotFoundInfo">
        <source>URLNotFoundInfo</source>
        <translation>„%1“ wurde nicht gefunden.</translation>
    </message>
    <message id="NetworkConnectFailed">
        <source>NetworkConnectFailed</source>
        <translation>Keine Verbindung zum Netzwerk möglich.</translation>
    </message>
    <message id="NetworkConnectFailedInfo">
        <source>NetworkConnectFailedInfo</source>
        <translation>Das Netzwerk ist nicht aktiv oder falsch eingerichtet. Möchten Sie die Netzwerkdiagnose anzeigen?</translation>
    </message>
    <message id="Yes">
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message id="No">
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message id="ServerUnreachableTimeout">
        <source>ServerUnreachableTimeout</source>
        <translation>Der Server war innerhalb von %1 Sekunden nicht erreichbar.</translation>
    </message>
    <message id="ServerSilentTimeout">
        <source>ServerSilentTimeout</source>
        <translation>Der Server hat innerhalb von %1 Sekunden nicht geantwortet.</translation>
    </message>
    <message id="ReportNotSentTimeoutInfo">
        <source>ReportNotSentTimeoutInfo</source>
        <translation>Der Bericht wurde nicht gesendet. Sie können es später erneut versuchen. Möchten Sie die Netzwerkdiagnose anzeigen?</translation>
    </message>
    <message id="QuitUnexpectedly">
        <source>QuitUnexpectedly</source>
        <translation>%1 wurde unerwartet beendet</translation>
    </message>
    <message id="CrashReportIsIn">
        <source>CrashReportIsIn</source>
        <translation>Ein Absturzbericht für %1 liegt in %2</translation>
    </message>
</context>
</TS>
