// SPDX-License-Identifier: MIT
#include "QNEjectTrigger.h"

#include "EjectRequest.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <unistd.h>

QVariantMap qnEjectParseOptions(int argc, char** argv)
{
    QVariantMap options;
    optind = 1;
    int c;
    while ((c = ::getopt(argc, argv, "d:")) != -1) {
        const QString key = QString::asprintf("%c", c);
        if (c == 'd')
            options.insert(key, QString::fromUtf8(optarg));
        else
            options.insert(key, QVariant());
    }
    QStringList positional;
    for (int i = optind; i < argc; ++i)
        positional << QString::fromUtf8(argv[i]);
    if (!positional.isEmpty())
        options.insert(QString::fromLatin1(kDirectParametersKey), positional);
    return options;
}

qint32 qnEjectDeviceIndex(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    errno = 0;
    const long long value = std::strtoll(bytes.constData(), nullptr, 10);
    // strtoll saturates on overflow; keep the result in the request's range.
    if (value > std::numeric_limits<qint32>::max())
        return std::numeric_limits<qint32>::max();
    if (value < std::numeric_limits<qint32>::min())
        return std::numeric_limits<qint32>::min();
    return qint32(value);
}

int qnEjectMain(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QVariantMap options = qnEjectParseOptions(argc, argv);

    const QStringList positional = options.value(QString::fromLatin1(kDirectParametersKey)).toStringList();
    if (!positional.isEmpty() && positional.first() == QLatin1String("?")) {
        std::printf("Usage : qneject [-d device]\n");
        return 0;
    }

    std::optional<qint32> index;
    if (options.contains(QStringLiteral("d")))
        index = qnEjectDeviceIndex(options.value(QStringLiteral("d")).toString());
    const qn::events::OSStatus status = qn::contracts::sendEjectRequest(index);
    if (status != qn::events::noErr)
        std::printf("Error occurred in launching QNTraylift. (%d)\n", int(status));
    std::fflush(stdout);
    return 0;
}
