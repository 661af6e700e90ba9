// SPDX-License-Identifier: MIT
// tools/qn-simdrive: creates and edits simulated machines for tests and demos.
#include "SimDriveCommand.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return runSimDrive(app.arguments().mid(1));
}
