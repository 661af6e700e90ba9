// SPDX-License-Identifier: MIT
#include "QNAuthorize.h"

#include "layout/Bundle.h"

#include <QProcess>
#include <QtEndian>

#include <algorithm>
#include <memory>
#include <unistd.h>

namespace {

using qn::contracts::kHelperGreeting;
using qn::contracts::kHelperReplySize;
using enum AuthorizationStatus;

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

// Whether the helper accepts a request of these items (see PrivilegedHelper.h).
bool withinHelperLimits(const QByteArray& tool, const std::vector<QByteArray>& arguments)
{
    using namespace qn::contracts;
    if (arguments.size() + 1 > kHelperMaxItems)
        return false;
    std::size_t total = 0;
    const auto fits = [&total](const QByteArray& item) {
        total += std::size_t(item.size());
        return std::size_t(item.size()) <= kHelperMaxItemSize && !item.contains('\0');
    };
    if (!fits(tool) || !std::all_of(arguments.begin(), arguments.end(), fits))
        return false;
    return total <= kHelperMaxRequestSize;
}

void report(QNErrorOut error, AuthorizationStatus status)
{
    if (error)
        *error = QNEnhancer::buildErrorWithCode(qint32(status), NSOSStatusErrorDomain);
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

bool QNAuthorize::startHelper(AuthorizationStatus* status)
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
    if (!readExactly(process.get(), qint64(kHelperGreeting.size()), &hello) || hello != QByteArrayView(kHelperGreeting.data(), qsizetype(kHelperGreeting.size()))) {
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
    const auto vector = commandLineArgumentDataWithArray(arguments);
    const QByteArray tool = toolPath.toUtf8();
    if (!withinHelperLimits(tool, vector->strings())) {
        // The helper would end on such a request and take the grant with it.
        report(error, errAuthorizationToolExecuteFailure);
        return false;
    }
    if (!_authRef) {
        AuthorizationStatus status {};
        if (!startHelper(&status)) {
            report(error, status);
            return false;
        }
    }

    QByteArray request;
    appendU32(request, quint32(vector->count() + 1));
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
    if (!sent || !readExactly(_authRef, qint64(kHelperReplySize), &reply)) {
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
        // The helper's own code, passed on whatever it is.
        report(error, AuthorizationStatus(status));
        return false;
    }
    return true;
}
