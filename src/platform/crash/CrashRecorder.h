// SPDX-License-Identifier: MIT
// src/platform/crash: the fatal-signal handler that appends crash-log entries.
#pragma once
// Records fatal signals of the running program in its crash log, the way the
// crash observer and reporter expect to find them:
//   ${XDG_STATE_HOME:-~/.local/state}/qnlab/CrashReporter/<name>.crash.log
// Each crash appends one entry: a line of ten asterisks, a blank line, then
// "Date/Time:", command, path, PID, signal and code, and the backtrace.
// Afterwards the previous signal action is restored and the signal raised
// again, so exit status and core dumps stay as they were. When several
// threads fault together, one entry is written and the process then dies by
// one of their signals.
#include <QString>

namespace qn::crash {

class CrashRecorder {
public:
    /// The crash log of a program with this executable name.
    static QString logPathForName(const QString& name);

    /// Installs the handlers for SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT
    /// and an alternate signal stack for the calling thread. Everything the
    /// handler needs (log descriptor, names, time-zone offset) is prepared now.
    /// name defaults to the executable's file name. Arming twice keeps the
    /// first arming and returns true. False when the log cannot be opened.
    static bool arm(const QString& name = {});
    static bool isArmed();
    /// The log that arm() opened (empty before arming).
    static QString logPath();

    /// Gives the calling thread its own alternate signal stack, so a stack
    /// overflow in it is still recorded. The stack is never freed. Returns
    /// false when the stack could not be set.
    static bool installAlternateStack();

    /// Called first thing in every thread started after arming (the crash
    /// kit's thread-start hook does so for every pthread_create of the
    /// process, QThread and std::thread included): gives the thread an
    /// alternate signal stack that is freed when the thread ends. Does
    /// nothing and returns false before arming; true when the thread has an
    /// alternate stack (its own or one set earlier).
    static bool threadStarted();
};

}  // namespace qn::crash
