// SPDX-License-Identifier: MIT
#include "QNSubTask.h"

#include "notify/NotificationCenter.h"

#include <QMetaObject>
#include <QProcess>
#include <QTimer>

#include <atomic>

namespace {
std::atomic<int> gLive{0};
std::atomic<int> gPrepared{0};
}  // namespace

QNSubTask::QNSubTask() { ++gLive; }

QNSubTask::~QNSubTask()
{
    stopListening();
    --gLive;
}

int QNSubTask::liveCount() { return gLive; }
int QNSubTask::preparedCount() { return gPrepared; }

void QNSubTask::setStdoutTarget(QObject* target, const QByteArray& selector, const QVariant& context)
{
    setStdoutTarget(target);
    setStdoutSelector(selector);
    setContext(context);
}

void QNSubTask::setStdoutTarget(QObject* target) { _stdoutTarget = target; }

void QNSubTask::setTask(std::shared_ptr<QProcess> task)
{
    if (task == _task)
        return;
    if (_task)
        _task->disconnect(this);
    _task = std::move(task);
    if (!_task)
        return;
    // Standard output comes to us; input and errors stay the application's.
    _task->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    _task->setInputChannelMode(QProcess::ForwardedInputChannel);
    QProcess* p = _task.get();
    connect(p, &QProcess::finished, this, [p](int code, QProcess::ExitStatus status) {
        qn::NotificationCenter::defaultCenter().post(
            kQNTaskDidTerminateNotification, p,
            {{QStringLiteral("terminationStatus"), code},
             {QStringLiteral("normalExit"), status == QProcess::NormalExit}});
    });
}

void QNSubTask::prepareForLaunch()
{
    if (_timer)
        return;
    _observer = qn::NotificationCenter::defaultCenter().addObserver(
        kQNTaskDidTerminateNotification, nullptr, this,
        [this](const qn::Notification& n) { taskDidEnd(&n); });
    _timer = std::make_unique<QTimer>();
    _timer->setInterval(200);
    connect(_timer.get(), &QTimer::timeout, this, &QNSubTask::readStdout);
    _timer->start();
    _retainsItself = true;
    ++gPrepared;
}

void QNSubTask::readStdout()
{
    if (!_task)
        return;
    const QByteArray data = _task->readAllStandardOutput();
    if (data.isEmpty() || !_stdoutTarget || _stdoutSelector.isEmpty())
        return;
    QMetaObject::invokeMethod(_stdoutTarget, _stdoutSelector.constData(), Qt::DirectConnection,
                              Q_ARG(QByteArray, data), Q_ARG(QVariant, _context));
}

void QNSubTask::taskDidEnd(const qn::Notification* notification)
{
    if (notification) {
        if (!_task || notification->sender != _task.get())
            return;
        readStdout();
    }
    stopListening();
    if (_retainsItself) {
        _retainsItself = false;
        // Not deleteLater(): that waits for a nested event loop to unwind,
        // which never happens while a caller pumps events by hand.
        QTimer::singleShot(0, [this] { delete this; });
    }
}

void QNSubTask::stopListening()
{
    if (_timer) {
        _timer->stop();
        _timer.reset();
        --gPrepared;
    }
    if (_observer) {
        qn::NotificationCenter::defaultCenter().removeObserver(_observer);
        _observer = 0;
    }
}
