// SPDX-License-Identifier: MIT
// src/setup: the setup program (drive list, target drive, auto-close options, tray check, Eject key).
#include "QNTrayliftSetup.h"

int main(int argc, char** argv)
{
    return qnTrayliftSetupMain(argc, argv);
}
