// SPDX-License-Identifier: MIT
#include "DriveLister.h"

#include "QNDeviceOperator.h"
#include "QNDeviceScanner.h"
#include "hardware/DeviceRegistry.h"
#include "hardware/sim/SimMachine.h"

#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace {

const char kUsage[] =
    "Usage: qn-drives\n"
    "\n"
    "Lists the optical drives connected to this machine in device-index order:\n"
    "vendor, product, firmware revision, interconnect and tray state. With\n"
    "QNLAB_SIMULATED_HARDWARE set, the drives of that simulated machine.\n";

QString trayText(const QNDevicePtr& device)
{
    const std::shared_ptr<QNDeviceOperator> op = QNDeviceOperator::deviceOperatorForDevice(device);
    if (!op)
        return QStringLiteral("unknown (drive not reachable)");
    quint8 state = 0;
    const qint32 status = op->getTrayState(&state);
    if (status != 0)
        return QStringLiteral("unknown (status 0x%1)").arg(quint32(status), 8, 16, QLatin1Char('0'));
    return state == QNDeviceOperator::kTrayOpen ? QStringLiteral("open") : QStringLiteral("closed");
}

}  // namespace

int runDriveLister(const QStringList& args)
{
    if (!args.isEmpty()) {
        const bool help = args.first() == "--help" || args.first() == "-h";
        std::fputs(kUsage, help ? stdout : stderr);
        return help ? 0 : 2;
    }
    QTextStream out(stdout);
    const QString sim = qn::hardware::simulatedMachinePath();
    out << (sim.isEmpty() ? QStringLiteral("Optical drives of this machine:")
                          : QStringLiteral("Optical drives of the simulated machine %1:").arg(sim))
        << "\n";

    QNDeviceScanner scanner;
    scanner.registerCallbackHandlers();
    const QNDeviceList& devices = scanner.devicesArray();
    if (devices.isEmpty()) {
        out << "  (none)\n";
        return 0;
    }
    const QStringList header = {QStringLiteral("#"), QStringLiteral("Vendor"), QStringLiteral("Product"),
                                QStringLiteral("Revision"), QStringLiteral("Interconnect"), QStringLiteral("Tray")};
    QList<QStringList> rows{header};
    for (qsizetype i = 0; i < devices.size(); ++i) {
        const QNDevicePtr& d = devices[i];
        rows.append({QString::number(i), d->vendorName(), d->productName(), d->productRevisionLevel(),
                     d->physicalInterconnect(), trayText(d)});
    }
    QList<qsizetype> widths(header.size(), 0);
    for (const QStringList& row : rows)
        for (qsizetype c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    for (const QStringList& row : rows) {
        QString line = QStringLiteral("  ");
        for (qsizetype c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? row[c].leftJustified(widths[c] + 2) : row[c];
        out << line << "\n";
    }
    return 0;
}
