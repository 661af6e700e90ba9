// SPDX-License-Identifier: MIT
// tools/qn-drives: lists the connected optical drives as the suite sees them.
#include "DriveLister.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return runDriveLister(app.arguments().mid(1));
}
