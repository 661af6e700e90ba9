// SPDX-License-Identifier: MIT
#include "hardware/sim/SimMachine.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QUuid>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace qn::hardware {

namespace {

constexpr int kFormat = 1;

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
    bool held() const { return _fd >= 0; }

private:
    int _fd = -1;
};

QString quoted(const QString& s)
{
    return QLatin1Char('"') + s + QLatin1Char('"');
}

bool hasMountedVolume(const SimDrive& d)
{
    if (!d.discPresent)
        return false;
    for (const SimVolume& v : d.volumes)
        if (v.mounted)
            return true;
    return false;
}

}  // namespace

QString simulatedMachinePath()
{
    return qEnvironmentVariable("QNLAB_SIMULATED_HARDWARE");
}

QJsonObject SimDrive::toJson() const
{
    QJsonArray vols;
    for (const SimVolume& v : volumes)
        vols.append(QJsonObject{{"bsdName", v.bsdName}, {"mountPoint", v.mountPoint}, {"mounted", v.mounted},
                                {"busy", v.busy}});
    QJsonObject o{{"bsdName", bsdName},
                  {"guid", QString::fromLatin1(guid.toHex())},
                  {"vendor", vendor},
                  {"product", product},
                  {"revision", revision},
                  {"interconnect", interconnect},
                  {"cdFeatures", qint64(cdFeatures)},
                  {"dvdFeatures", qint64(dvdFeatures)},
                  {"trayOpen", trayOpen},
                  {"trayMotor", trayMotor},
                  {"slotLoading", slotLoading},
                  {"discPresent", discPresent},
                  {"volumes", vols}};
    if (reportedTrayState)
        o.insert("reportedTrayState", *reportedTrayState);
    return o;
}

std::optional<SimDrive> SimDrive::fromJson(const QJsonObject& o, QString* error)
{
    SimDrive d;
    d.bsdName = o.value("bsdName").toString();
    if (d.bsdName.isEmpty() || d.bsdName.contains(QLatin1Char('/')) || d.bsdName.contains(QLatin1Char(' '))) {
        if (error)
            *error = QStringLiteral("a drive has no valid \"bsdName\"");
        return std::nullopt;
    }
    const QString hex = o.value("guid").toString();
    d.guid = QByteArray::fromHex(hex.toLatin1());
    if (d.guid.toHex() != hex.toLower().toLatin1()) {
        if (error)
            *error = QStringLiteral("drive %1: \"guid\" must be hexadecimal digits").arg(d.bsdName);
        return std::nullopt;
    }
    d.vendor = o.value("vendor").toString();
    d.product = o.value("product").toString();
    d.revision = o.value("revision").toString();
    d.interconnect = o.value("interconnect").toString();
    auto mask = [&](const char* key, quint32& out) {
        const double v = o.value(QLatin1String(key)).toDouble(0);
        if (v < 0 || v > 4294967295.0 || v != double(qint64(v)))
            return false;
        out = quint32(qint64(v));
        return true;
    };
    if (!mask("cdFeatures", d.cdFeatures) || !mask("dvdFeatures", d.dvdFeatures)) {
        if (error)
            *error = QStringLiteral("drive %1: feature masks must be unsigned 32-bit numbers").arg(d.bsdName);
        return std::nullopt;
    }
    d.trayOpen = o.value("trayOpen").toBool(false);
    d.trayMotor = o.value("trayMotor").toBool(true);
    d.slotLoading = o.value("slotLoading").toBool(false);
    d.discPresent = o.value("discPresent").toBool(false);
    if (o.contains("reportedTrayState") && !o.value("reportedTrayState").isNull())
        d.reportedTrayState = o.value("reportedTrayState").toInt();
    for (const QJsonValue& v : o.value("volumes").toArray()) {
        const QJsonObject vo = v.toObject();
        SimVolume vol{vo.value("bsdName").toString(), vo.value("mountPoint").toString(),
                      vo.value("mounted").toBool(false), vo.value("busy").toBool(false)};
        if (vol.bsdName.isEmpty()) {
            if (error)
                *error = QStringLiteral("drive %1: a volume has no \"bsdName\"").arg(d.bsdName);
            return std::nullopt;
        }
        d.volumes.append(vol);
    }
    return d;
}

QVariantMap SimDrive::properties() const
{
    QVariantMap props{{QLatin1String(kBSDNameKey), bsdName}};
    if (!guid.isEmpty())
        props.insert(QLatin1String(kGUIDKey), guid);
    if (!interconnect.isEmpty())
        props.insert(QLatin1String(kProtocolCharacteristicsKey),
                     QVariantMap{{QLatin1String(kPhysicalInterconnectKey), interconnect}});
    QVariantMap ch{{QLatin1String(kCDFeaturesKey), cdFeatures}, {QLatin1String(kDVDFeaturesKey), dvdFeatures}};
    if (!vendor.isEmpty())
        ch.insert(QLatin1String(kVendorNameKey), vendor);
    if (!product.isEmpty())
        ch.insert(QLatin1String(kProductNameKey), product);
    if (!revision.isEmpty())
        ch.insert(QLatin1String(kProductRevisionLevelKey), revision);
    props.insert(QLatin1String(kDeviceCharacteristicsKey), ch);
    return props;
}

SimDrive* SimMachineState::drive(const QString& bsdName)
{
    for (SimDrive& d : drives)
        if (d.bsdName == bsdName)
            return &d;
    return nullptr;
}

const SimDrive* SimMachineState::drive(const QString& bsdName) const
{
    return const_cast<SimMachineState*>(this)->drive(bsdName);
}

QByteArray SimMachineState::toJson() const
{
    QJsonArray ds, fixed;
    for (const SimDrive& d : drives)
        ds.append(d.toJson());
    for (const SimFixedVolume& v : fixedVolumes)
        fixed.append(QJsonObject{{"bsdName", v.bsdName}, {"mountPoint", v.mountPoint}});
    return QJsonDocument(QJsonObject{{"format", kFormat}, {"drives", ds}, {"fixedVolumes", fixed}})
        .toJson(QJsonDocument::Indented);
}

std::optional<SimMachineState> SimMachineState::fromJson(const QByteArray& data, QString* error)
{
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject()) {
        if (error)
            *error = QStringLiteral("not a machine file: %1 at offset %2").arg(pe.errorString()).arg(pe.offset);
        return std::nullopt;
    }
    const QJsonObject root = doc.object();
    if (root.value("format").toInt() != kFormat) {
        if (error)
            *error = QStringLiteral("unknown machine file format %1").arg(root.value("format").toVariant().toString());
        return std::nullopt;
    }
    SimMachineState state;
    for (const QJsonValue& v : root.value("drives").toArray()) {
        std::optional<SimDrive> d = SimDrive::fromJson(v.toObject(), error);
        if (!d)
            return std::nullopt;
        if (state.drive(d->bsdName)) {
            if (error)
                *error = QStringLiteral("two drives are named %1").arg(d->bsdName);
            return std::nullopt;
        }
        state.drives.append(*d);
    }
    for (const QJsonValue& v : root.value("fixedVolumes").toArray())
        state.fixedVolumes.append({v.toObject().value("bsdName").toString(), v.toObject().value("mountPoint").toString()});
    return state;
}

SimMachine::SimMachine(QString path) : _path(std::move(path)) {}

bool SimMachine::create(QString* error)
{
    FileLock lock(_path + QStringLiteral(".lock"));
    if (!lock.held()) {
        if (error)
            *error = QStringLiteral("cannot lock %1.lock").arg(_path);
        return false;
    }
    QSaveFile f(_path);
    if (!f.open(QIODevice::WriteOnly) || f.write(SimMachineState().toJson()) < 0 || !f.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(_path, f.errorString());
        return false;
    }
    appendLog(QStringLiteral("machine-created"));
    return true;
}

std::optional<SimMachineState> SimMachine::read(QString* error) const
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

qint32 SimMachine::modify(const std::function<qint32(SimMachineState&, QString&, QString&)>& change, QString* error)
{
    FileLock lock(_path + QStringLiteral(".lock"));
    if (!lock.held()) {
        if (error)
            *error = QStringLiteral("cannot lock %1.lock").arg(_path);
        return kIOReturnError;
    }
    std::optional<SimMachineState> state = read(error);
    if (!state)
        return kIOReturnError;
    QString logText, message;
    const qint32 status = change(*state, logText, message);
    if (status != 0) {
        if (error)
            *error = message;
        if (!logText.isEmpty())
            appendLog(logText);
        return status;
    }
    // Stamped before the file changes, so no watcher can see the change
    // earlier than the log says it happened.
    const QDateTime changedAt = QDateTime::currentDateTimeUtc();
    QSaveFile f(_path);
    if (!f.open(QIODevice::WriteOnly) || f.write(state->toJson()) < 0 || !f.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(_path, f.errorString());
        return kIOReturnError;
    }
    if (!logText.isEmpty())
        appendLog(logText, changedAt);
    return 0;
}

qint32 SimMachine::modifyDrive(const QString& bsdName,
                               const std::function<qint32(SimDrive*, QString&, QString&)>& change, QString* error)
{
    return modify(
        [&](SimMachineState& s, QString& log, QString& err) -> qint32 {
            SimDrive* d = s.drive(bsdName);
            if (!d) {
                err = QStringLiteral("no drive named %1").arg(bsdName);
                return kIOReturnNoDevice;
            }
            return change(d, log, err);
        },
        error);
}

qint32 SimMachine::plug(SimDrive drive, QString* error)
{
    return modify(
        [&](SimMachineState& s, QString& log, QString& err) -> qint32 {
            if (drive.bsdName.isEmpty()) {
                int n = 0;
                while (s.drive(QStringLiteral("sr%1").arg(n)))
                    ++n;
                drive.bsdName = QStringLiteral("sr%1").arg(n);
            } else if (s.drive(drive.bsdName)) {
                err = QStringLiteral("a drive named %1 is already plugged in").arg(drive.bsdName);
                return kIOReturnBusy;
            }
            if (drive.guid.isEmpty())
                drive.guid = QUuid::createUuid().toRfc4122();  // 16 bytes, never reused
            for (SimVolume& v : drive.volumes)
                if (v.mountPoint.isEmpty())
                    v.mountPoint = QStringLiteral("/media/sim/") + v.bsdName;
            s.drives.append(drive);
            log = QStringLiteral("plug %1 guid=%2 %3 %4 %5 %6")
                      .arg(drive.bsdName, QString::fromLatin1(drive.guid.toHex()), quoted(drive.vendor),
                           quoted(drive.product), quoted(drive.revision), drive.interconnect);
            return 0;
        },
        error);
}

qint32 SimMachine::unplug(const QString& bsdName, QString* error)
{
    return modify(
        [&](SimMachineState& s, QString& log, QString& err) -> qint32 {
            for (qsizetype i = 0; i < s.drives.size(); ++i) {
                if (s.drives[i].bsdName == bsdName) {
                    s.drives.removeAt(i);
                    log = QStringLiteral("unplug %1").arg(bsdName);
                    return 0;
                }
            }
            err = QStringLiteral("no drive named %1").arg(bsdName);
            return kIOReturnNoDevice;
        },
        error);
}

qint32 SimMachine::insertDisc(const QString& bsdName, const QList<SimVolume>& volumes, QString* error)
{
    return modifyDrive(
        bsdName,
        [&](SimDrive* d, QString& log, QString& err) -> qint32 {
            if (d->discPresent) {
                err = QStringLiteral("%1 already holds a disc").arg(bsdName);
                return kIOReturnBusy;
            }
            if (!d->slotLoading && !d->trayOpen) {
                err = QStringLiteral("the tray of %1 is closed: pull it out first").arg(bsdName);
                return kIOReturnBusy;
            }
            d->discPresent = true;
            d->volumes = volumes;
            if (d->volumes.isEmpty())
                d->volumes.append({bsdName, QString(), false, false});
            QStringList names;
            for (SimVolume& v : d->volumes) {
                v.mounted = false;
                v.busy = false;
                if (v.mountPoint.isEmpty())
                    v.mountPoint = QStringLiteral("/media/sim/") + v.bsdName;
                names << v.bsdName;
            }
            log = QStringLiteral("insert-disc %1 volumes=%2").arg(bsdName, names.join(QLatin1Char(',')));
            return 0;
        },
        error);
}

qint32 SimMachine::removeDisc(const QString& bsdName, QString* error)
{
    return modifyDrive(
        bsdName,
        [&](SimDrive* d, QString& log, QString& err) -> qint32 {
            if (!d->discPresent) {
                err = QStringLiteral("%1 holds no disc").arg(bsdName);
                return kIOReturnNoDevice;
            }
            if (!d->slotLoading && !d->trayOpen) {
                err = QStringLiteral("the tray of %1 is closed").arg(bsdName);
                return kIOReturnBusy;
            }
            if (hasMountedVolume(*d)) {
                err = QStringLiteral("the disc in %1 is mounted").arg(bsdName);
                return kVolumeBusyErr;
            }
            d->discPresent = false;
            d->volumes.clear();
            log = QStringLiteral("remove-disc %1").arg(bsdName);
            return 0;
        },
        error);
}

qint32 SimMachine::mount(const QString& bsdName, const QString& volume, QString* error)
{
    return modifyDrive(
        bsdName,
        [&](SimDrive* d, QString& log, QString& err) -> qint32 {
            if (!d->discPresent || (d->trayOpen && !d->slotLoading)) {
                err = QStringLiteral("%1 has no disc ready to mount (no disc, or the tray is open)").arg(bsdName);
                return kIOReturnNoDevice;
            }
            QStringList done;
            for (SimVolume& v : d->volumes) {
                if (volume.isEmpty() || v.bsdName == volume) {
                    v.mounted = true;
                    done << v.bsdName;
                }
            }
            if (done.isEmpty()) {
                err = QStringLiteral("the disc in %1 has no volume %2").arg(bsdName, volume);
                return kVolumeNotFoundErr;
            }
            log = QStringLiteral("mount %1").arg(done.join(QLatin1Char(',')));
            return 0;
        },
        error);
}

qint32 SimMachine::setBusy(const QString& volumeBSDName, bool busy, QString* error)
{
    return modify(
        [&](SimMachineState& s, QString& log, QString& err) -> qint32 {
            for (SimDrive& d : s.drives) {
                if (!d.discPresent)
                    continue;
                for (SimVolume& v : d.volumes) {
                    if (v.bsdName != volumeBSDName)
                        continue;
                    if (busy && !v.mounted) {
                        err = QStringLiteral("%1 is not mounted").arg(volumeBSDName);
                        return kVolumeNotFoundErr;
                    }
                    v.busy = busy;
                    log = QStringLiteral("%1 %2").arg(busy ? QStringLiteral("busy") : QStringLiteral("idle"),
                                                      volumeBSDName);
                    return 0;
                }
            }
            err = QStringLiteral("no volume named %1 on a disc").arg(volumeBSDName);
            return kVolumeNotFoundErr;
        },
        error);
}

qint32 SimMachine::moveTrayByHand(const QString& bsdName, bool open, QString* error)
{
    return modifyDrive(
        bsdName,
        [&](SimDrive* d, QString& log, QString& err) -> qint32 {
            if (d->slotLoading) {
                err = QStringLiteral("%1 is a slot loader: it has no tray").arg(bsdName);
                return kIOReturnUnsupported;
            }
            if (open && hasMountedVolume(*d)) {
                err = QStringLiteral("the tray of %1 is locked: its disc is mounted").arg(bsdName);
                return kIOReturnBusy;
            }
            d->trayOpen = open;
            log = QStringLiteral("%1 %2").arg(open ? QStringLiteral("tray-pulled-out") : QStringLiteral("tray-pushed-in"),
                                              bsdName);
            return 0;
        },
        error);
}

qint32 SimMachine::commandTray(const QString& bsdName, bool open, QString* error)
{
    return modifyDrive(
        bsdName,
        [&](SimDrive* d, QString& log, QString& err) -> qint32 {
            const QString verb = open ? QStringLiteral("tray-open") : QStringLiteral("tray-close");
            if (d->slotLoading || !d->trayMotor) {
                err = QStringLiteral("%1 has no motorised tray").arg(bsdName);
                log = verb + QLatin1Char(' ') + bsdName + QStringLiteral(" refused no-motor");
                return kIOReturnUnsupported;
            }
            if (open && hasMountedVolume(*d)) {
                err = QStringLiteral("the disc in %1 is mounted").arg(bsdName);
                log = verb + QLatin1Char(' ') + bsdName + QStringLiteral(" refused mounted");
                return kIOReturnBusy;
            }
            d->trayOpen = open;
            log = verb + QLatin1Char(' ') + bsdName;
            return 0;
        },
        error);
}

qint32 SimMachine::ejectDisc(const QString& bsdName, QString* error)
{
    // Volumes unmount in order; a busy one stops the eject, and those
    // unmounted before it stay unmounted, so the state is saved either way.
    qint32 outcome = 0;
    QString message;
    const qint32 saved = modifyDrive(
        bsdName,
        [&](SimDrive* d, QString& log, QString&) -> qint32 {
            QStringList lines;
            for (SimVolume& v : d->volumes) {
                if (!d->discPresent || !v.mounted)
                    continue;
                if (v.busy) {
                    lines << QStringLiteral("unmount %1 refused busy").arg(v.bsdName);
                    message = QStringLiteral("%1 is in use").arg(v.bsdName);
                    outcome = kVolumeBusyErr;
                    break;
                }
                v.mounted = false;
                lines << QStringLiteral("unmount %1").arg(v.bsdName);
            }
            if (outcome == 0) {
                if (d->slotLoading) {
                    if (d->discPresent)
                        lines << QStringLiteral("eject %1 disc-out").arg(bsdName);
                    d->discPresent = false;
                    d->volumes.clear();
                } else if (!d->trayMotor) {
                    lines << QStringLiteral("eject %1 refused no-motor").arg(bsdName);
                    message = QStringLiteral("%1 has no motorised tray").arg(bsdName);
                    outcome = kIOReturnUnsupported;
                } else {
                    d->trayOpen = true;
                    lines << QStringLiteral("eject %1 tray-open").arg(bsdName);
                }
            }
            log = lines.join(QLatin1Char('\n'));
            return 0;
        },
        error);
    if (saved != 0)
        return saved;
    if (outcome != 0 && error)
        *error = message;
    return outcome;
}

void SimMachine::appendLog(const QString& text, const QDateTime& at) const
{
    QFile f(logPath());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    const QDateTime time = at.isValid() ? at.toUTC() : QDateTime::currentDateTimeUtc();
    const QByteArray prefix = time.toString(Qt::ISODateWithMs).toUtf8() + " pid=" +
                              QByteArray::number(qint64(::getpid())) + ' ';
    QByteArray out;
    for (const QString& line : text.split(QLatin1Char('\n')))
        out += prefix + line.toUtf8() + '\n';
    f.write(out);  // one write: lines of concurrent writers do not interleave
}

QList<SimLogEntry> SimMachine::readLog() const
{
    QList<SimLogEntry> entries;
    QFile f(logPath());
    if (!f.open(QIODevice::ReadOnly))
        return entries;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const qsizetype s1 = line.indexOf(QLatin1Char(' '));
        const qsizetype s2 = s1 < 0 ? -1 : line.indexOf(QLatin1Char(' '), s1 + 1);
        if (s2 < 0)
            continue;
        SimLogEntry e;
        e.time = QDateTime::fromString(line.left(s1), Qt::ISODateWithMs);
        const QString pid = line.mid(s1 + 1, s2 - s1 - 1);
        bool ok = false;
        e.pid = pid.startsWith(QLatin1String("pid=")) ? pid.mid(4).toLongLong(&ok) : 0;
        if (!e.time.isValid() || !ok)
            continue;
        e.text = line.mid(s2 + 1);
        entries.append(e);
    }
    return entries;
}

}  // namespace qn::hardware
