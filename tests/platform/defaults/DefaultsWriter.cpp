// SPDX-License-Identifier: MIT
// Test helper: rewrites one defaults domain over and over with one of two
// large dictionaries, so a test can kill it mid-write and check readers.
#include "defaults/UserDefaults.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    qn::UserDefaults defaults(QString::fromLocal8Bit(argv[1]));
    QVariantMap a, b;
    for (int i = 0; i < 2000; ++i) {
        a.insert(QStringLiteral("key%1").arg(i), QStringLiteral("A").repeated(40));
        b.insert(QStringLiteral("key%1").arg(i), QStringLiteral("B").repeated(40));
    }
    a.insert(QStringLiteral("marker"), QStringLiteral("A"));
    b.insert(QStringLiteral("marker"), QStringLiteral("B"));
    std::puts("ready");
    std::fflush(stdout);
    for (unsigned n = 0;; ++n)
        defaults.setPersistentDomain(n % 2 ? a : b);
}
