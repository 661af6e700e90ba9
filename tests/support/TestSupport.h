// SPDX-License-Identifier: MIT
#pragma once
// Helpers shared by every test program.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <ostream>

// Readable QString values in GoogleTest failure messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QByteArray& b, std::ostream* os)
{
    *os << '"' << b.toStdString() << '"';
}

namespace qn::test {

/// The private home of this test program (HOME, XDG_* point inside it).
QString homeDir();
/// tests/data/<relative>
QString dataPath(const QString& relative);
/// The build's staged install tree (build/stage).
QString stageDir();
/// Copies the staged privileged helper into folder/libexec/qnlab/ with an
/// allow-list of these tools beside it (folder/share/qnlab/privileged-tools),
/// so a test can let it run tools other than /bin/rm. Returns the helper's
/// path, or an empty string when that failed.
QString privilegedHelperAllowing(const QString& folder, const QStringList& tools);
/// Folder of the test programs and test helper programs.
QString testBinDir();

/// Handles Qt events until pred() is true or the timeout passes; pred() is
/// checked after every batch of events and at least every 5 ms, and the
/// thread sleeps in between. Returns pred()'s last answer.
bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 5000);

struct ProcessResult {
    int exitCode = -1;       // exit status, or -1 when it did not exit normally
    int signal = 0;          // terminating signal, 0 when none
    bool timedOut = false;
    QByteArray out;
    QByteArray err;
};

/// Runs a program to completion (killed after timeoutMs) with optional input
/// and extra environment entries ("NAME=value").
ProcessResult runProcess(const QString& program, const QStringList& args, int timeoutMs = 30000,
                         const QStringList& extraEnv = {}, const QByteArray& input = {});

/// The whole content of a file; empty when it cannot be read.
QByteArray readFile(const QString& path);

/// Path of the Debian python (pyenv's python cannot see Debian packages).
QString systemPython();

}  // namespace qn::test
