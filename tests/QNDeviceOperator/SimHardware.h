// SPDX-License-Identifier: MIT
#pragma once
// A simulated machine in a scratch folder with a registry over it.
#include "hardware/sim/SimDeviceRegistry.h"
#include "hardware/sim/SimMachine.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

struct SimHardware {
    SimHardware() { EXPECT_TRUE(machine.create()); }

    /// Plugs a drive with a fixed identity ("GUID-" + name) and vendor/product.
    qn::hardware::SimDrive plug(const QString& name, const QString& product = QStringLiteral("DVDRAM GH24NSD1"),
                                bool mountedDisc = false)
    {
        qn::hardware::SimDrive d;
        d.bsdName = name;
        d.guid = "GUID-" + name.toUtf8();
        d.vendor = QStringLiteral("HL-DT-ST");
        d.product = product;
        d.revision = QStringLiteral("LG00");
        if (mountedDisc) {
            d.discPresent = true;
            d.volumes = {{name, QStringLiteral("/media/sim/") + name, true, false}};
        }
        EXPECT_EQ(machine.plug(d), 0);
        return d;
    }

    QTemporaryDir dir;
    qn::hardware::SimMachine machine{dir.filePath(QStringLiteral("machine.json"))};
    qn::hardware::SimDeviceRegistry registry{machine.path()};
};
