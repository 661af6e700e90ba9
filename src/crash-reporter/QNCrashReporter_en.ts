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
    <message id="CrashReporterTitle">
        <source>CrashReporterTitle</source>
        <translation>Crash Reporter</translation>
    </message>
    <message id="ButtonClose">
        <source>ButtonClose</source>
        <translation>Close</translation>
    </message>
    <message id="ButtonShowReport">
        <source>ButtonShowReport</source>
        <translation>Show Report</translation>
    </message>
    <message id="ButtonReopen">
        <source>ButtonReopen</source>
        <translation>Reopen</translation>
    </message>
    <message id="ButtonSend">
        <source>ButtonSend</source>
        <translation>Send</translation>
    </message>
    <message id="ReportWillBeSent">
        <source>ReportWillBeSent</source>
        <translation>This report will be sent:</translation>
    </message>
    <message id="CommentLabel">
        <source>CommentLabel</source>
        <translation>Comment (what were you doing?):</translation>
    </message>
    <message id="SendingReport">
        <source>SendingReport</source>
        <translation>Sending the report...</translation>
    </message>
    <message id="URLConnectFailed">
        <source>URLConnectFailed</source>
        <translation>Failed to connect the URL.</translation>
    </message>
    <message id="SchemeNotSupported">
        <source>SchemeNotSupported</source>
        <translation>The scheme '%1' is not supported.</translation>
    </message>
    <message id="URLNotFound">
        <source>URLNotFound</source>
        <translation>URL is not found.</translation>
    </message>
    <message id="URLNotFoundInfo">
        <source>URLNotFoundInfo</source>
        <translation>'%1' is not found.</translation>
    </message>
    <message id="NetworkConnectFailed">
        <source>NetworkConnectFailed</source>
        <translation>Can't connect to the network.</translation>
    </message>
    <message id="NetworkConnectFailedInfo">
        <source>NetworkConnectFailedInfo</source>
        <translation>Network is not active or miss configured. Would you like to show the network diagnostic?</translation>
    </message>
    <message id="Yes">
        <source>Yes</source>
        <translation>Yes</translation>
    </message>
    <message id="No">
        <source>No</source>
        <translation>No</translation>
    </message>
    <message id="ServerUnreachableTimeout">
        <source>ServerUnreachableTimeout</source>
        <translation>The server could not be reached within %1 seconds.</translation>
    </message>
    <message id="ServerSilentTimeout">
        <source>ServerSilentTimeout</source>
        <translation>The server did not answer within %1 seconds.</translation>
    </message>
    <message id="ReportNotSentTimeoutInfo">
        <source>ReportNotSentTimeoutInfo</source>
        <translation>The report was not sent. You can try again later. Would you like to show the network diagnostic?</translation>
    </message>
    <message id="QuitUnexpectedly">
        <source>QuitUnexpectedly</source>
        <translation>%1 quit unexpectedly</translation>
    </message>
    <message id="CrashReportIsIn">
        <source>CrashReportIsIn</source>
        <translation>a crash report for %1 is in %2</translation>
    </message>
</context>
</TS>
