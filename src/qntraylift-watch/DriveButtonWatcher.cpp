// SPDX-License-Identifier: MIT
#include "DriveButtonWatcher.h"

#include "EjectRequest.h"
#include "QNDeviceScanner.h"

#include "hardware/DeviceRegistry.h"

#include <libudev.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

int gStopWriteEnd = -1;

void onStopSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(gStopWriteEnd, &byte, 1);
    errno = saved;
}

void say(const QString& text)
{
    std::fprintf(stderr, "qntraylift-watch: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

bool equals(const char* value, const char* expected)
{
    return value && std::strcmp(value, expected) == 0;
}

}  // namespace

DriveButtonWatcher::DriveButtonWatcher(QString agentPath) : _agentPath(std::move(agentPath)) {}

DriveButtonWatcher::~DriveButtonWatcher()
{
    if (_monitor)
        udev_monitor_unref(_monitor);
    if (_udev)
        udev_unref(_udev);
    for (int fd : _stopPipe)
        if (fd >= 0)
            ::close(fd);
    gStopWriteEnd = -1;
}

bool DriveButtonWatcher::open()
{
    // Both ends close on exec: the agent this program starts inherits neither.
    if (::pipe2(_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        say(QStringLiteral("cannot make a pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    gStopWriteEnd = _stopPipe[1];
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);

    _udev = udev_new();
    _monitor = _udev ? udev_monitor_new_from_netlink(_udev, "udev") : nullptr;
    if (!_monitor || udev_monitor_filter_add_match_subsystem_devtype(_monitor, "block", "disk") < 0
        || udev_monitor_enable_receiving(_monitor) < 0) {
        say(QStringLiteral("cannot listen to udev events (is udev running?)"));
        return false;
    }
    return true;
}

int DriveButtonWatcher::run()
{
    say(QStringLiteral("waiting for the eject buttons of optical drives"));
    pollfd fds[2] = {{udev_monitor_get_fd(_monitor), POLLIN, 0}, {_stopPipe[0], POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            say(QStringLiteral("poll failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
            return 1;
        }
        if (fds[1].revents) {
            say(QStringLiteral("stopped"));
            return 0;
        }
        if (fds[0].revents & POLLIN)
            handleEvent();
        else if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            say(QStringLiteral("the udev monitor failed"));
            return 1;
        }
    }
}

void DriveButtonWatcher::handleEvent()
{
    udev_device* device = udev_monitor_receive_device(_monitor);
    if (!device)
        return;
    const bool button = isButtonRequest(udev_device_get_action(device),
                                        udev_device_get_property_value(device, "DISK_EJECT_REQUEST"),
                                        udev_device_get_property_value(device, "ID_CDROM"));
    const QString name = QString::fromLocal8Bit(udev_device_get_sysname(device));
    udev_device_unref(device);
    if (!button)
        return;

    const std::optional<qint32> position = drivePosition(name, qn::hardware::DeviceRegistry::instance());
    if (!position) {
        say(QStringLiteral("eject button of %1: the drive is not in the drive list").arg(name));
        return;
    }
    const qn::events::OSStatus status =
        qn::contracts::sendEjectRequest(*position, qn::contracts::EjectRequestSource::DriveButton, _agentPath);
    if (status != 0)
        say(QStringLiteral("eject button of %1: the agent could not be started (%2)").arg(name).arg(status));
    else
        say(QStringLiteral("eject button of %1: asked the agent to open drive %2").arg(name).arg(*position));
}

bool DriveButtonWatcher::isButtonRequest(const char* action, const char* ejectRequest, const char* isCdrom)
{
    return equals(action, "change") && equals(ejectRequest, "1") && equals(isCdrom, "1");
}

std::optional<qint32> DriveButtonWatcher::drivePosition(const QString& kernelName,
                                                       qn::hardware::DeviceRegistry& registry)
{
    // A scanner made now lists the drives as the agent's will; the registry
    // tells which identity the named disk has.
    QNDeviceScanner scanner(registry);
    scanner.registerCallbackHandlers();
    QByteArray identity;
    for (const QVariantMap& drive : registry.matchingDrives()) {
        if (drive.value(QLatin1String(qn::hardware::kBSDNameKey)).toString() == kernelName) {
            identity = drive.value(QLatin1String(qn::hardware::kGUIDKey)).toByteArray();
            break;
        }
    }
    std::optional<qint32> position;
    const QNDeviceList& drives = scanner.devicesArray();
    for (qsizetype i = 0; i < drives.size() && !identity.isEmpty(); ++i) {
        if (drives.at(i) && drives.at(i)->GUIDData() == identity) {
            position = qint32(i);
            break;
        }
    }
    scanner.unregisterCallbackHandlers();
    return position;
}
