// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <QTimer>

namespace qn::test {

QString homeDir()
{
    return qEnvironmentVariable("HOME");
}

QString dataPath(const QString& relative)
{
    return qEnvironmentVariable("QN_TEST_DATA") + QLatin1Char('/') + relative;
}

QString stageDir()
{
    return qEnvironmentVariable("QN_STAGE_DIR");
}

QString privilegedHelperAllowing(const QString& folder, const QStringList& tools)
{
    const QString helper = folder + QStringLiteral("/libexec/qnlab/qnlab-privileged-helper");
    const QString list = folder + QStringLiteral("/share/qnlab/privileged-tools");
    if (!QDir().mkpath(folder + QStringLiteral("/libexec/qnlab")) || !QDir().mkpath(folder + QStringLiteral("/share/qnlab")))
        return {};
    QFile::remove(helper);
    if (!QFile::copy(stageDir() + QStringLiteral("/libexec/qnlab/qnlab-privileged-helper"), helper))
        return {};
    QFile f(list);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    f.write(tools.join(QLatin1Char('\n')).toUtf8() + '\n');
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    return helper;
}

QString testBinDir()
{
    const QString dir = qEnvironmentVariable("QN_TEST_BIN_DIR");
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() : dir;
}

bool waitUntil(const std::function<bool()>& pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    // What a test waits for may change outside this process (a file another
    // program writes), which raises no event here: a short tick wakes the
    // wait to look again. Between ticks the thread sleeps in the event
    // dispatcher and handles every event the moment it arrives.
    QTimer tick;
    if (dispatcher)
        tick.start(5);
    while (!pred()) {
        if (deadline.hasExpired())
            return pred();
        if (dispatcher)
            dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        else
            QThread::msleep(5);  // a thread without an event loop has nothing to wait in
    }
    return true;
}

ProcessResult runProcess(const QString& program, const QStringList& args, int timeoutMs, const QStringList& extraEnv,
                         const QByteArray& input)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& kv : extraEnv) {
        const qsizetype eq = kv.indexOf(QLatin1Char('='));
        if (eq > 0)
            env.insert(kv.left(eq), kv.mid(eq + 1));
    }
    p.setProcessEnvironment(env);
    p.start(program, args);
    ProcessResult r;
    if (!p.waitForStarted(10000))
        return r;
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        r.timedOut = true;
        p.kill();
        p.waitForFinished(5000);
    }
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    if (p.exitStatus() == QProcess::NormalExit)
        r.exitCode = p.exitCode();
    else
        r.signal = p.exitCode();  // QProcess reports the signal number as exit code for crashes
    return r;
}

QString systemPython()
{
    return QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                 : QStringLiteral("python3");
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace qn::test
