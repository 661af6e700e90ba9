// SPDX-License-Identifier: MIT
// qntraylift-watch: hands the optical drive's own eject button to the agent.
#include "DriveButtonWatcher.h"

#include "EjectRequest.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] =
    "Usage: qntraylift-watch [--help]\n"
    "\n"
    "Hands the eject button of optical drives to the QNTraylift agent: when a\n"
    "drive's button is pressed (udev reports DISK_EJECT_REQUEST=1), the agent is\n"
    "asked to open that drive, unmounting the disc and showing its panel and\n"
    "auto-close countdown, as qneject does for the Eject key. A tray that is\n"
    "already open is left open.\n"
    "\n"
    "Runs until SIGTERM or SIGINT. Usually started as the systemd user service\n"
    "qntraylift-watch.service, which QNTrayliftSetup turns on and off.\n"
    "\n"
    "  -h, --help   print this text and exit\n";

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::fprintf(stderr, "qntraylift-watch: unknown argument \"%s\"\n\n%s", argv[i], kUsage);
        return 2;
    }
    // For the drive registry's Qt objects; the event loop never runs.
    QCoreApplication app(argc, argv);
    DriveButtonWatcher watcher(qn::contracts::agentProgramPath());
    if (!watcher.open())
        return 1;
    return watcher.run();
}
