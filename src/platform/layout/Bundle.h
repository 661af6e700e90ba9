// SPDX-License-Identifier: MIT
// src/platform/layout: the install layout, and how programs find their siblings and resources.
#pragma once
// Where the suite is installed and where its pieces lie, found from binaries'
// own paths (never the current directory). The folders come from the build's
// install layout (GNUInstallDirs, generated once); the build tree's stage/
// folder has the same layout as an installation, so the staged tree, any
// prefix and the Debian package work alike.
#include <QString>

namespace qn {

class Bundle {
public:
    /// The folders of the layout, each relative to the installation prefix.
    enum class Location {
        Programs,          // bin
        PrivateLibraries,  // <libdir>/qnlab
        Helpers,           // libexec/qnlab
        Resources,         // share/qnlab
        QmlModule,         // <Qt's QML folder>/QNTraylift
        StagedQmlModule,   // lib/qml/QNTraylift (build tree only, for `qml -I`)
    };
    static QString relativeDirectory(Location location);

    /// Absolute path of the running executable (/proc/self/exe).
    static QString mainExecutablePath();
    /// Absolute path of the shared object or executable holding this address.
    static QString pathOfBinaryContaining(const void* address);
    /// The installation prefix a binary at this path belongs to: the path
    /// above whichever layout folder holds the binary. Empty when the path is
    /// not inside such a layout.
    static QString prefixForBinary(const QString& binaryPath);
    /// The prefix of the installation that holds libQNPlatformCore.
    static QString installPrefix();

    static QString resourceDirectory();  // <prefix>/share/qnlab

    /// <prefix>/bin/<name>, by default in this process's installation.
    static QString programPath(const QString& name, const QString& prefix = installPrefix());
    /// <prefix>/libexec/qnlab/<name>, by default in this process's installation.
    static QString helperPath(const QString& name, const QString& prefix = installPrefix());
    /// share/qnlab/<name>[.<type>] when that file exists, else an empty string.
    static QString pathForResource(const QString& name, const QString& type = {});

    /// The Debian package name the suite is shipped under.
    static QString packageName();
};

}  // namespace qn
