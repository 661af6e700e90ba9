// SPDX-License-Identifier: MIT
#include "QNTraylift.h"

int main(int argc, char** argv)
{
    return qnTrayliftMain(argc, argv);
}
