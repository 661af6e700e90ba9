// SPDX-License-Identifier: MIT
// tools/qn-defaults: reads and writes the suite's preference domains from a shell.
#include "defaults/UserDefaults.h"
#include "plist/PropertyList.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace {

const char kUsage[] =
    "Usage: qn-defaults read DOMAIN [KEY]\n"
    "       qn-defaults write DOMAIN KEY -int N | -bool yes|no | -string TEXT | -float X\n"
    "       qn-defaults delete DOMAIN KEY\n"
    "       qn-defaults path DOMAIN\n"
    "\n"
    "Reads or changes a preference domain of the suite, for example\n"
    "com.qnlab.QNTraylift, stored as an XML property list under\n"
    "${XDG_CONFIG_HOME:-~/.config}/qnlab/.\n";

int usage(int status)
{
    std::fputs(kUsage, status == 0 ? stdout : stderr);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.first() == "--help" || args.first() == "-h")
        return usage(args.isEmpty() ? 2 : 0);
    const QString command = args.value(0);
    if (args.size() < 2)
        return usage(2);
    if (!qn::UserDefaults::isDomainName(args.value(1))) {
        std::fprintf(stderr, "qn-defaults: \"%s\" is not a domain name (a name such as com.qnlab.QNTraylift, without \"/\")\n",
                     qPrintable(args.value(1)));
        return 2;
    }
    qn::UserDefaults defaults(args.value(1));
    QTextStream out(stdout);

    if (command == "path" && args.size() == 2) {
        out << defaults.path() << "\n";
        return 0;
    }
    if (command == "read" && (args.size() == 2 || args.size() == 3)) {
        QVariant value = args.size() == 3 ? defaults.objectForKey(args.value(2)) : QVariant(defaults.persistentDomain());
        if (!value.isValid()) {
            std::fprintf(stderr, "qn-defaults: the key \"%s\" does not exist in %s\n",
                         qPrintable(args.value(2)), qPrintable(args.value(1)));
            return 1;
        }
        if (value.metaType().id() == QMetaType::QVariantMap || value.metaType().id() == QMetaType::QVariantList)
            out << QString::fromUtf8(qn::plist::write(value, qn::plist::Format::Xml));
        else
            out << value.toString() << "\n";
        return 0;
    }
    if (command == "delete" && args.size() == 3)
        return defaults.removeObject(args.value(2)) ? 0 : 1;
    if (command == "write" && args.size() == 5) {
        const QString type = args.value(3), text = args.value(4);
        QVariant value;
        bool ok = true;
        if (type == "-int")
            value = text.toLongLong(&ok);
        else if (type == "-float")
            value = text.toDouble(&ok);
        else if (type == "-bool") {
            const QString t = text.toLower();
            ok = t == "yes" || t == "no" || t == "true" || t == "false" || t == "1" || t == "0";
            value = t == "yes" || t == "true" || t == "1";
        } else if (type == "-string")
            value = text;
        else
            return usage(2);
        if (!ok) {
            std::fprintf(stderr, "qn-defaults: \"%s\" is not a valid %s value\n", qPrintable(text), qPrintable(type.mid(1)));
            return 2;
        }
        if (!defaults.setObject(value, args.value(2))) {
            std::fprintf(stderr, "qn-defaults: cannot write %s\n", qPrintable(defaults.path()));
            return 1;
        }
        return 0;
    }
    return usage(2);
}
