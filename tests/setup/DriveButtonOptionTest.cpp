// SPDX-License-Identifier: MIT
// The "Handle the drive's eject button" option against a stand-in systemctl
// placed first on PATH (a real program that records its arguments).
#include "DriveButtonOption.h"

#include "strings/LocalizedString.h"

#include "TestSupport.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class DriveButtonOptionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static const bool translated = qn::installTranslations(QStringLiteral("QNTrayliftSetup"));
        ASSERT_TRUE(translated);
        _oldPath = qgetenv("PATH");
        ASSERT_TRUE(QFile::copy(QStringLiteral(QN_FAKE_SYSTEMCTL), _bin.filePath(QStringLiteral("systemctl"))));
        qputenv("PATH", QFile::encodeName(_bin.path()) + ':' + _oldPath);
    }
    void TearDown() override { qputenv("PATH", _oldPath); }

    void write(const QString& name, const QByteArray& text)
    {
        QFile f(_bin.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text + '\n');
    }
    QStringList calls() const
    {
        QFile f(_bin.filePath(QStringLiteral("calls")));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    DriveButtonOption& make()
    {
        _option = std::make_unique<DriveButtonOption>(&_box, &_status);
        return *_option;
    }

    QTemporaryDir _bin;
    QByteArray _oldPath;
    QCheckBox _box;
    QLabel _status;
    std::unique_ptr<DriveButtonOption> _option;
};

TEST_F(DriveButtonOptionTest, TurningOnAndOffRunsSystemctlAndTheBoxFollowsIsEnabled)
{
    write(QStringLiteral("state"), "disabled");
    make();
    EXPECT_EQ(_box.text(), qn::localizedString("DriveButtonOption"));
    EXPECT_FALSE(_box.isChecked()) << "disabled by default";
    EXPECT_EQ(calls(), QStringList{"--user is-enabled qntraylift-watch.service"});

    _box.click();
    EXPECT_TRUE(_box.isChecked());
    EXPECT_EQ(calls().mid(1), (QStringList{"--user enable --now qntraylift-watch.service",
                                           "--user is-enabled qntraylift-watch.service"}));
    EXPECT_EQ(_status.text(), qn::localizedString("DriveButtonOn"));

    // Off stops the running watcher as well: a disabled watcher does nothing.
    _box.click();
    EXPECT_FALSE(_box.isChecked());
    EXPECT_EQ(calls().value(3), QStringLiteral("--user disable --now qntraylift-watch.service"));
    EXPECT_EQ(_status.text(), qn::localizedString("DriveButtonOff"));

    // Another window opening later reads the state from systemctl.
    write(QStringLiteral("state"), "enabled");
    make();
    EXPECT_TRUE(_box.isChecked());
}

struct FailureCase {
    const char* name;
    const char* mode;        // the stand-in's mode; nullptr: no systemctl on PATH at all
    const char* atStart;     // text id shown when the window opens
    const char* afterClick;  // what the status line then contains
};

class DriveButtonOptionFailure : public DriveButtonOptionTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(DriveButtonOptionFailure, SaysWhyAndLeavesTheBoxOff)
{
    const FailureCase& c = GetParam();
    if (c.mode)
        write(QStringLiteral("mode"), c.mode);
    else
        qputenv("PATH", QFile::encodeName(_bin.path() + QStringLiteral("/none")));
    make();
    EXPECT_FALSE(_box.isChecked());
    EXPECT_TRUE(_status.text().startsWith(qn::localizedString(c.atStart).section(QLatin1Char('%'), 0, 0)))
        << _status.text().toStdString();
    if (!c.mode) {
        EXPECT_FALSE(_box.isEnabled()) << "nothing to turn on without systemctl";
        return;
    }
    _box.click();
    EXPECT_FALSE(_box.isChecked()) << "the box follows systemctl, not the click";
    EXPECT_TRUE(calls().contains(QStringLiteral("--user enable --now qntraylift-watch.service")));
    EXPECT_TRUE(_status.text().startsWith(qn::localizedString("DriveButtonFailed").section(QLatin1Char('%'), 0, 0)))
        << _status.text().toStdString();
    EXPECT_TRUE(_status.text().contains(QString::fromLatin1(c.afterClick))) << _status.text().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DriveButtonOptionFailure,
    ::testing::Values(FailureCase{"NoSystemctl", nullptr, "DriveButtonNoSystemctl", ""},
                      FailureCase{"NoUserManager", "nobus", "DriveButtonStateUnknown", "Failed to connect to bus"},
                      FailureCase{"UnitNotInstalled", "nounit", "DriveButtonNotInstalled", "does not exist"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
