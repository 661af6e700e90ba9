// SPDX-License-Identifier: MIT
// src/crash-kit: libQNCrashReporterKit, which arms crash recording in a program and starts its crash observer.
#pragma once
// Crash tracking for the suite's applications. Call
//   QNCrashReporterKit::sharedInstance().beginTracking();
// once at start-up (after the QCoreApplication exists). The kit arms the
// crash recorder, starts the crash observer (libexec/qnlab/QNCrashObserver)
// for this process and, when the application quits normally
// (QCoreApplication::aboutToQuit), tells the observer to quit first, so the
// observer only ever sees this process vanish when it crashed or was killed.
// Every failure is a false result; the application runs on without tracking.
#include <QtGlobal>

#if defined(QNCRASHREPORTERKIT_LIBRARY)
#define QNCRASHREPORTERKIT_EXPORT Q_DECL_EXPORT
#else
#define QNCRASHREPORTERKIT_EXPORT Q_DECL_IMPORT
#endif

class QNCRASHREPORTERKIT_EXPORT QNCrashReporterKit {
public:
    /// The process-wide instance, created on the first call. Not owned by the caller.
    static QNCrashReporterKit& sharedInstance();

    /// Starts the observer for this process. True when the observer was
    /// launched now or by an earlier call; false when it could not be started.
    bool beginTracking();
    /// Asks the launched observer to quit. True when the request was sent or
    /// there was nothing to stop. The observer's serial number is kept, so a
    /// later beginTracking starts nothing.
    bool stopTracking();
    /// True once an observer launch succeeded (whether it still runs is not checked).
    bool isReporterAlive() const;

    /// The observer's serial number words (0/0 when none was launched).
    quint32 reporterHighPSN() const { return _highPSN; }
    quint32 reporterLowPSN() const { return _lowPSN; }

    ~QNCrashReporterKit();
    QNCrashReporterKit(const QNCrashReporterKit&) = delete;
    QNCrashReporterKit& operator=(const QNCrashReporterKit&) = delete;

private:
    QNCrashReporterKit();
    void callRelease();

    quint32 _highPSN = 0;
    quint32 _lowPSN = 0;
    bool _subscribed = false;
    bool _released = false;
};
