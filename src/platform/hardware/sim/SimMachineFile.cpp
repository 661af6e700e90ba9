// SPDX-License-Identifier: MIT
#include "hardware/sim/SimMachineFile.h"

#include "hardware/DeviceRegistry.h"

#include <QFile>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace qn::hardware {

namespace {

// Holds an exclusive lock on <machine>.lock for its lifetime. The machine file
// itself is replaced on every save, so it cannot carry the lock.
class FileLock {
public:
    explicit FileLock(const QString& path)
    {
        _fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (_fd >= 0 && ::flock(_fd, LOCK_EX) != 0) {
            ::close(_fd);
            _fd = -1;
        }
    }
    ~FileLock()
    {
        if (_fd >= 0)
            ::close(_fd);  // releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return _fd >= 0; }

private:
    int _fd = -1;
};

}  // namespace

SimMachineFile::SimMachineFile(QString path) : _path(std::move(path)) {}

std::optional<SimMachineState> SimMachineFile::read(QString* error) const
{
    QFile f(_path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot read %1: %2").arg(_path, f.errorString());
        return std::nullopt;
    }
    QString e;
    std::optional<SimMachineState> s = SimMachineState::fromJson(f.readAll(), &e);
    if (!s && error)
        *error = _path + QStringLiteral(": ") + e;
    return s;
}

bool SimMachineFile::write(const SimMachineState& state, QString* error) const
{
    QSaveFile f(_path);
    if (!f.open(QIODevice::WriteOnly) || f.write(state.toJson()) < 0 || !f.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(_path, f.errorString());
        return false;
    }
    return true;
}

bool SimMachineFile::replace(const SimMachineState& state, const std::function<void()>& settled, QString* error)
{
    FileLock lock(lockPath());
    if (!lock.held()) {
        if (error)
            *error = QStringLiteral("cannot lock %1").arg(lockPath());
        return false;
    }
    if (!write(state, error))
        return false;
    if (settled)
        settled();
    return true;
}

Status SimMachineFile::transact(const Change& change, const std::function<void(Status, const QDateTime&)>& settled,
                                QString* error)
{
    FileLock lock(lockPath());
    if (!lock.held()) {
        if (error)
            *error = QStringLiteral("cannot lock %1").arg(lockPath());
        return IOReturn::Error;
    }
    std::optional<SimMachineState> state = read(error);
    if (!state)
        return IOReturn::Error;
    QString message;
    const Status status = change(*state, message);
    if (!status.ok()) {
        if (error)
            *error = message;
        if (settled)
            settled(status, QDateTime::currentDateTimeUtc());
        return status;
    }
    // Stamped before the file changes, so no watcher can see the change
    // earlier than the log says it happened.
    const QDateTime changedAt = QDateTime::currentDateTimeUtc();
    if (!write(*state, error))
        return IOReturn::Error;
    if (settled)
        settled(Status(), changedAt);
    return {};
}

}  // namespace qn::hardware
