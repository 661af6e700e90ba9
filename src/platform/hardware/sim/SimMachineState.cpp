// SPDX-License-Identifier: MIT
#include "hardware/sim/SimMachineState.h"

#include "hardware/DeviceRegistry.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace qn::hardware {

namespace {

constexpr int kFormat = 1;

}  // namespace

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

}  // namespace qn::hardware
