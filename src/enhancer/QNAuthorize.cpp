// SPDX-License-Identifier: MIT
#include "QNAuthorize.h"

#include "layout/Bundle.h"

#include <QProcess>
#include <QtEndian>

#include <memory>
#include <unistd.h>

namespace {

// Wire format, all integers big-endian.
//   helper -> runner, once at start:  "QNLAB-HELPER 2\n"
//   runner -> helper, per tool run:   u32 count, then count x (u32 length, bytes);
//                                     item 0 is the tool path
//   helper -> runner, when it ended:  i32 status, u64 output bytes, u32 reads,
//                                     i32 exit status
const QByteArray kHello = QByteArrayLiteral("QNLAB-HELPER 2\n");
constexpr int kReplySize = 4 + 8 + 4 + 4;

void appendU32(QByteArray& out, quint32 value)
{
    char b[4];
    qToBigEndian(value, b);
    out.append(b, 4);
}

bool readExactly(QProcess* process, qint64 size, QByteArray* out)
{
    while (process->bytesAvailable() < size) {
        if (process->state() != QProcess::Running || !process->waitForReadyRead(-1)) {
            if (process->bytesAvailable() >= size)
                break;
            return false;
        }
    }
    *out = process->read(size);
    return out->size() == size;
}

void report(QNErrorOut error, qint32 status)
{
    if (error)
        *error = QNEnhancer::buildErrorWithCode(status, NSOSStatusErrorDomain);
}

}  // namespace

QNArgumentVector::QNArgumentVector(const QStringList& arguments)
{
    _strings.reserve(size_t(arguments.size()));
    for (const QString& a : arguments)
        _strings.push_back(a.toUtf8());
    _slots.assign(_strings.size() + 1, nullptr);
    for (size_t i = 0; i < _strings.size(); ++i)
        _slots[i] = _strings[i].data();
}

QNAuthorize::QNAuthorize()
    : _elevationCommand(defaultElevationCommand()),
      _helperPath(qn::Bundle::helperPath(QStringLiteral("qnlab-privileged-helper")))
{
}

QNAuthorize::~QNAuthorize()
{
    stopHelper();
}

QStringList QNAuthorize::defaultElevationCommand()
{
    if (qEnvironmentVariableIsSet("QNLAB_ELEVATOR"))
        return QProcess::splitCommand(qEnvironmentVariable("QNLAB_ELEVATOR"));
    if (::geteuid() == 0)
        return {};
    return {QStringLiteral("pkexec")};
}

std::unique_ptr<QNArgumentVector> QNAuthorize::commandLineArgumentDataWithArray(const QStringList& arguments)
{
    return std::make_unique<QNArgumentVector>(arguments);
}

bool QNAuthorize::isAuthorized() const
{
    return _authRef && _authRef->state() == QProcess::Running;
}

bool QNAuthorize::startHelper(qint32* status)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList command = _elevationCommand;
    command.append(_helperPath);
    process->start(command.takeFirst(), command, QIODevice::ReadWrite);
    if (!process->waitForStarted(-1)) {
        *status = errAuthorizationInternal;
        return false;
    }
    // The elevator asks the user first; the helper greets once it runs.
    QByteArray hello;
    if (!readExactly(process.get(), kHello.size(), &hello) || hello != kHello) {
        process->closeWriteChannel();
        if (process->state() != QProcess::NotRunning && !process->waitForFinished(5000)) {
            process->kill();
            process->waitForFinished(5000);
        }
        // pkexec: 126 when the dialog was dismissed, 127 when not authorized
        // or the helper could not be run.
        const bool exitedNormally = process->exitStatus() == QProcess::NormalExit;
        *status = exitedNormally && process->exitCode() == 126 ? errAuthorizationCanceled : errAuthorizationDenied;
        return false;
    }
    _authRef = process.release();
    return true;
}

void QNAuthorize::release()
{
    stopHelper();
}

void QNAuthorize::stopHelper()
{
    if (!_authRef)
        return;
    // End of input tells the helper to quit.
    _authRef->closeWriteChannel();
    if (_authRef->state() != QProcess::NotRunning && !_authRef->waitForFinished(5000)) {
        _authRef->kill();
        _authRef->waitForFinished(5000);
    }
    delete _authRef;
    _authRef = nullptr;
}

bool QNAuthorize::openPrivilegedTool(const QString& toolPath, const QStringList& arguments, QNErrorOut error)
{
    if (error)
        error->reset();
    _lastExitStatus = -1;
    if (_authRef && _authRef->state() != QProcess::Running)
        stopHelper();  // the helper went away: ask again
    if (!_authRef) {
        qint32 status = 0;
        if (!startHelper(&status)) {
            report(error, status);
            return false;
        }
    }

    const auto vector = commandLineArgumentDataWithArray(arguments);
    QByteArray request;
    appendU32(request, quint32(vector->count() + 1));
    const QByteArray tool = toolPath.toUtf8();
    appendU32(request, quint32(tool.size()));
    request.append(tool);
    for (const QByteArray& a : vector->strings()) {
        appendU32(request, quint32(a.size()));
        request.append(a);
    }
    _lastOutputSize = 0;
    _lastOutputReads = 0;
    _lastExitStatus = -1;
    QByteArray reply;
    bool sent = _authRef->write(request) == request.size();
    while (sent && _authRef->bytesToWrite() > 0)
        sent = _authRef->waitForBytesWritten(-1);
    if (!sent || !readExactly(_authRef, kReplySize, &reply)) {
        // The helper died under us: the tool's fate is unknown, and the
        // grant is gone with it.
        stopHelper();
        report(error, errAuthorizationToolExecuteFailure);
        return false;
    }
    const auto* r = reinterpret_cast<const uchar*>(reply.constData());
    const qint32 status = qFromBigEndian<qint32>(r);
    _lastOutputSize = qFromBigEndian<quint64>(r + 4);
    _lastOutputReads = qFromBigEndian<quint32>(r + 12);
    _lastExitStatus = qFromBigEndian<qint32>(r + 16);
    if (status != 0) {
        report(error, status);
        return false;
    }
    return true;
}
