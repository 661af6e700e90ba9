#pragma once
// Where the suite is installed and where its pieces lie, found from binaries'
// own paths (never the current directory). The build tree's stage/ folder has
// the same layout as an installation:
//   <prefix>/bin  lib  lib/qml  libexec/qnlab  share/qnlab  share/applications
#include <QString>

namespace qn {

class Bundle {
public:
    /// Absolute path of the running executable (/proc/self/exe).
    static QString mainExecutablePath();
    /// Absolute path of the shared object or executable holding this address.
    static QString pathOfBinaryContaining(const void* address);
    /// The installation prefix a binary at this path belongs to: the parent of
    /// bin/ or lib/, the grand-parent of libexec/qnlab/, the great-grand-parent
    /// of lib/qml/<module>/. Empty when the path is not inside such a layout.
    static QString prefixForBinary(const QString& binaryPath);
    /// The prefix of the installation that holds libQNPlatformCore.
    static QString installPrefix();

    static QString binDirectory();       // <prefix>/bin
    static QString libexecDirectory();   // <prefix>/libexec/qnlab
    static QString resourceDirectory();  // <prefix>/share/qnlab

    /// <prefix>/bin/<name>
    static QString programPath(const QString& name);
    /// <prefix>/libexec/qnlab/<name>
    static QString helperPath(const QString& name);
    /// share/qnlab/<name>[.<type>] when that file exists, else an empty string.
    static QString pathForResource(const QString& name, const QString& type = {});
};

}  // namespace qn
