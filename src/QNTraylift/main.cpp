// SPDX-License-Identifier: MIT
// src/QNTraylift: the agent, which takes one eject request, toggles the tray, shows the countdown panel and quits.
#include "QNTraylift.h"

int main(int argc, char** argv)
{
    return qnTrayliftMain(argc, argv);
}
