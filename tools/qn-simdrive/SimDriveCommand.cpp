// SPDX-License-Identifier: MIT
#include "SimDriveCommand.h"

#include "hardware/sim/SimMachine.h"

#include <QTextStream>

#include <cstdio>

using namespace qn::hardware;

namespace {

const char kUsage[] =
    "Usage: qn-simdrive [--machine FILE] COMMAND [ARGUMENTS]\n"
    "\n"
    "Creates and edits a simulated machine: optical drives with trays, discs and\n"
    "volumes, kept in a JSON file. Programs of the suite use that machine instead\n"
    "of the real drives when QNLAB_SIMULATED_HARDWARE names the file; every\n"
    "running drive list sees drives plugged or unplugged here at once.\n"
    "FILE defaults to $QNLAB_SIMULATED_HARDWARE. Every change is logged with a\n"
    "millisecond timestamp in FILE.log.\n"
    "\n"
    "Commands (NAME is a drive's disk name such as sr0, VOLUME a volume's):\n"
    "  create                 make FILE a machine without drives (replaces it)\n"
    "  list                   drives in report order, trays, discs, volumes\n"
    "  plug [OPTIONS]         plug in a drive; prints its name. Options:\n"
    "      --name NAME          disk name (default: the first free srN)\n"
    "      --guid HEX           identity bytes (default: made up, unique)\n"
    "      --vendor TEXT --product TEXT --revision TEXT\n"
    "      --interconnect TEXT  ATAPI (default), USB, SCSI, FireWire, ...\n"
    "      --cd-features N --dvd-features N   feature masks (default 0)\n"
    "      --slot-loading       no tray: ejecting pushes the disc out\n"
    "      --no-motor           the tray refuses open/close commands\n"
    "      --tray-open          the tray is out when plugged in\n"
    "      --disc [VOL,...]     a disc is inside (volumes default to NAME)\n"
    "      --mounted            the disc's volumes are mounted\n"
    "  unplug NAME            pull the drive's cable\n"
    "  insert NAME [VOL,...]  put a disc on the open tray (or into the slot)\n"
    "  remove NAME            take the disc off the open tray\n"
    "  mount NAME [VOLUME]    mount the disc's volumes (or one of them)\n"
    "  busy VOLUME            a program holds a file open on VOLUME\n"
    "  idle VOLUME            ... and closes it again\n"
    "  tray NAME in|out       push the tray in or pull it out by hand\n"
    "  open NAME | close NAME send the drive an open or close command\n"
    "  eject NAME             unmount the disc's volumes, then eject the disc\n"
    "  log                    the event log\n"
    "\n"
    "Exit status: 0 done, 1 refused by the machine (reason on stderr), 2 usage.\n";

int usage(const QString& problem = {})
{
    if (!problem.isEmpty())
        std::fprintf(stderr, "qn-simdrive: %s\n\n", qPrintable(problem));
    std::fputs(kUsage, problem.isEmpty() ? stdout : stderr);
    return problem.isEmpty() ? 0 : 2;
}

int refused(Status status, const QString& error)
{
    const qint32 code = status.code();
    if (code < -32768)  // a drive-interface code: shown as the registry writes it
        std::fprintf(stderr, "qn-simdrive: %s (status 0x%08X)\n", qPrintable(error), unsigned(code));
    else
        std::fprintf(stderr, "qn-simdrive: %s (status %d)\n", qPrintable(error), int(code));
    return 1;
}

bool parseMask(const QString& text, quint32& out)
{
    bool ok = false;
    const qulonglong v = text.startsWith(QLatin1String("0x")) ? text.mid(2).toULongLong(&ok, 16) : text.toULongLong(&ok);
    if (!ok || v > 0xFFFFFFFFull)
        return false;
    out = quint32(v);
    return true;
}

QList<SimVolume> volumeList(const QString& names, bool mounted)
{
    QList<SimVolume> volumes;
    for (const QString& n : names.split(QLatin1Char(','), Qt::SkipEmptyParts))
        volumes.append({n.trimmed(), QString(), mounted, false});
    return volumes;
}

bool validName(const QString& name)
{
    if (name.isEmpty())
        return false;
    for (const QChar c : name)
        if (!(c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('-')))
            return false;
    return true;
}

int plug(SimMachine& machine, QStringList args)
{
    SimDrive d;
    bool disc = false, mounted = false;
    QString discVolumes;
    while (!args.isEmpty()) {
        const QString opt = args.takeFirst();
        auto value = [&](QString& out) {
            if (args.isEmpty())
                return false;
            out = args.takeFirst();
            return true;
        };
        QString v;
        if (opt == "--name" && value(v) && validName(v))
            d.bsdName = v;
        else if (opt == "--guid" && value(v)) {
            d.guid = QByteArray::fromHex(v.toLatin1());
            if (d.guid.isEmpty() || d.guid.toHex() != v.toLower().toLatin1())
                return usage(QStringLiteral("--guid needs an even number of hexadecimal digits"));
        } else if (opt == "--vendor" && value(v))
            d.vendor = v;
        else if (opt == "--product" && value(v))
            d.product = v;
        else if (opt == "--revision" && value(v))
            d.revision = v;
        else if (opt == "--interconnect" && value(v))
            d.interconnect = v;
        else if (opt == "--cd-features" && value(v) && parseMask(v, d.cdFeatures))
            ;
        else if (opt == "--dvd-features" && value(v) && parseMask(v, d.dvdFeatures))
            ;
        else if (opt == "--slot-loading")
            d.slotLoading = true;
        else if (opt == "--no-motor")
            d.trayMotor = false;
        else if (opt == "--tray-open")
            d.trayOpen = true;
        else if (opt == "--mounted")
            mounted = true;
        else if (opt == "--disc") {
            disc = true;
            if (!args.isEmpty() && !args.first().startsWith(QLatin1String("--")))
                discVolumes = args.takeFirst();
        } else
            return usage(QStringLiteral("plug: bad option or value: %1").arg(opt));
    }
    if (mounted && !disc)
        return usage(QStringLiteral("plug: --mounted needs --disc"));
    if (mounted && d.trayOpen && !d.slotLoading)
        return usage(QStringLiteral("plug: a disc on an open tray cannot be mounted"));
    if (disc) {
        // The disc's volumes are named after the drive, so the name is needed now.
        if (d.bsdName.isEmpty()) {
            const std::optional<SimMachineState> s = machine.read();
            int n = 0;
            while (s && s->drive(QStringLiteral("sr%1").arg(n)))
                ++n;
            d.bsdName = QStringLiteral("sr%1").arg(n);
        }
        d.discPresent = true;
        d.volumes = volumeList(discVolumes.isEmpty() ? d.bsdName : discVolumes, mounted);
    }
    QString error;
    const Status status = machine.plug(d, &error);
    if (!status.ok())
        return refused(status, error);
    const std::optional<SimMachineState> s = machine.read();
    QTextStream(stdout) << (s && !s->drives.isEmpty() ? s->drives.last().bsdName : d.bsdName) << "\n";
    return 0;
}

void list(const SimMachineState& s)
{
    QTextStream out(stdout);
    if (s.drives.isEmpty())
        out << "no drives\n";
    for (qsizetype i = 0; i < s.drives.size(); ++i) {
        const SimDrive& d = s.drives[i];
        out << i << "  " << d.bsdName << "  \"" << d.vendor << "\" \"" << d.product << "\" \"" << d.revision << "\" "
            << d.interconnect << "  guid=" << d.guid.toHex() << "\n";
        QStringList traits;
        traits << (d.slotLoading ? QStringLiteral("slot loader")
                                 : (d.trayOpen ? QStringLiteral("tray open") : QStringLiteral("tray closed")));
        if (!d.trayMotor && !d.slotLoading)
            traits << QStringLiteral("no tray motor");
        traits << (d.discPresent ? QStringLiteral("disc inside") : QStringLiteral("no disc"));
        if (d.reportedTrayState)
            traits << QStringLiteral("reports tray state %1").arg(*d.reportedTrayState);
        out << "   " << traits.join(QStringLiteral(", ")) << "\n";
        if (d.discPresent)
            for (const SimVolume& v : d.volumes)
                out << "   volume " << v.bsdName << "  " << (v.mounted ? "mounted on " + v.mountPoint : QStringLiteral("not mounted"))
                    << (v.busy ? "  (busy)" : "") << "\n";
    }
}

}  // namespace

int runSimDrive(const QStringList& arguments)
{
    QStringList args = arguments;
    QString path = simulatedMachinePath();
    if (args.size() >= 2 && args.first() == "--machine") {
        path = args.at(1);
        args = args.mid(2);
    }
    if (args.isEmpty())
        return usage(QStringLiteral("no command given"));
    const QString command = args.takeFirst();
    if (command == "--help" || command == "-h" || command == "help")
        return usage();
    if (path.isEmpty())
        return usage(QStringLiteral("no machine: give --machine FILE or set QNLAB_SIMULATED_HARDWARE"));

    SimMachine machine(path);
    QString error;
    auto done = [&](Status status) { return status.ok() ? 0 : refused(status, error); };
    auto needArgs = [&](int min, int max) { return args.size() >= min && args.size() <= max; };

    if (command == "create" && needArgs(0, 0)) {
        if (!machine.create(&error))
            return refused(IOReturn::Error, error);
        return 0;
    }
    if (command == "list" && needArgs(0, 0)) {
        const std::optional<SimMachineState> s = machine.read(&error);
        if (!s)
            return refused(IOReturn::Error, error);
        list(*s);
        return 0;
    }
    if (command == "log" && needArgs(0, 0)) {
        QTextStream out(stdout);
        for (const SimLogEntry& e : machine.readLog())
            out << e.time.toString(Qt::ISODateWithMs) << " pid=" << e.pid << " " << e.text << "\n";
        return 0;
    }
    if (command == "plug")
        return plug(machine, args);
    if (command == "unplug" && needArgs(1, 1))
        return done(machine.unplug(args[0], &error));
    if (command == "insert" && needArgs(1, 2))
        return done(machine.insertDisc(args[0], volumeList(args.value(1), false), &error));
    if (command == "remove" && needArgs(1, 1))
        return done(machine.removeDisc(args[0], &error));
    if (command == "mount" && needArgs(1, 2))
        return done(machine.mount(args[0], args.value(1), &error));
    if ((command == "busy" || command == "idle") && needArgs(1, 1))
        return done(machine.setBusy(args[0], command == "busy", &error));
    if (command == "tray" && needArgs(2, 2) && (args[1] == "in" || args[1] == "out"))
        return done(machine.moveTrayByHand(args[0], args[1] == "out", &error));
    if ((command == "open" || command == "close") && needArgs(1, 1))
        return done(machine.commandTray(args[0], command == "open", &error));
    if (command == "eject" && needArgs(1, 1))
        return done(machine.ejectDisc(args[0], &error));
    return usage(QStringLiteral("unknown command or wrong arguments: %1").arg(command));
}
