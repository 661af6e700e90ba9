// SPDX-License-Identifier: MIT
#pragma once
// Owns a running child process, polls its standard output every 0.2 s on the
// run loop of the thread that prepared it and hands each non-empty piece to a
// target, then cleans itself up when the child has ended.
//
// The target is a QObject and the selector the name of one of its slots or
// Q_INVOKABLE methods taking (const QByteArray& data, const QVariant& context).
// Pieces are raw bytes. The child's standard input and standard error stay
// those of this process.
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QVariant>
#include <memory>

class QProcess;
class QTimer;

namespace qn {
struct Notification;
}

/// Posted by a sub-task's child process when it ends (sender: the QProcess;
/// user info "terminationStatus" and "normalExit").
inline const QString kQNTaskDidTerminateNotification = QStringLiteral("kQNTaskDidTerminateNotification");

class QNSubTask : public QObject {
    Q_OBJECT
public:
    QNSubTask();
    ~QNSubTask() override;

    void setStdoutTarget(QObject* target, const QByteArray& selector, const QVariant& context);
    /// The target is watched, not owned: once it is destroyed no more pieces are sent.
    void setStdoutTarget(QObject* target);
    QObject* stdoutTarget() const { return _stdoutTarget; }
    void setStdoutSelector(const QByteArray& selector) { _stdoutSelector = selector; }
    QByteArray stdoutSelector() const { return _stdoutSelector; }
    void setContext(const QVariant& context) { _context = context; }
    QVariant context() const { return _context; }

    /// Takes a new child process description (not yet started) and captures
    /// its standard output; the same task again changes nothing.
    void setTask(std::shared_ptr<QProcess> task);
    std::shared_ptr<QProcess> task() const { return _task; }

    /// Starts listening for task ends and polling; the sub-task then keeps
    /// itself alive until taskDidEnd.
    void prepareForLaunch();
    /// Hands what the child has written so far, if anything, to the target.
    /// Never waits for the child.
    void readStdout();
    /// With a notification: acts only when it is about its own task, then
    /// reads the output one last time. With none: acts at once. Acting means
    /// stopping the timer and the listening and letting the sub-task go (it
    /// is deleted when control returns to the event loop).
    void taskDidEnd(const qn::Notification* notification);

    /// Sub-tasks alive, and those currently listening and polling (test and
    /// diagnostic figures).
    static int liveCount();
    static int preparedCount();

private:
    void stopListening();

    QPointer<QObject> _stdoutTarget;
    QByteArray _stdoutSelector;
    QVariant _context;
    std::shared_ptr<QProcess> _task;
    std::unique_ptr<QTimer> _timer;
    quint64 _observer = 0;
    bool _retainsItself = false;
};
