// SPDX-License-Identifier: MIT
// main() of every test program: a private home folder with the XDG folders
// inside it, English texts, Qt offscreen, then GoogleTest.
#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

int main(int argc, char** argv)
{
    // English texts whatever the machine's locale; a test that wants another
    // language sets it for the programs it starts.
    setenv("LANG", "C.UTF-8", 1);
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"})
        unsetenv(name);
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/qntest-XXXXXX"));
    if (!home.isValid())
        return 1;
    const QByteArray h = QFile::encodeName(home.path());
    for (const char* sub : {"/.config", "/.local/state", "/.local/share", "/.cache", "/runtime"})
        QDir().mkpath(home.path() + QString::fromLatin1(sub));
    ::chmod((h + "/runtime").constData(), 0700);
    setenv("HOME", h.constData(), 1);
    setenv("XDG_CONFIG_HOME", (h + "/.config").constData(), 1);
    setenv("XDG_STATE_HOME", (h + "/.local/state").constData(), 1);
    setenv("XDG_DATA_HOME", (h + "/.local/share").constData(), 1);
    setenv("XDG_CACHE_HOME", (h + "/.cache").constData(), 1);
    setenv("XDG_RUNTIME_DIR", (h + "/runtime").constData(), 1);
    setenv("QN_TEST_DATA", QN_DEFAULT_TEST_DATA, 0);
    setenv("QN_STAGE_DIR", QN_DEFAULT_STAGE_DIR, 0);
    setenv("QN_TEST_BIN_DIR", QN_DEFAULT_TEST_BIN_DIR, 0);
    if (!getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
