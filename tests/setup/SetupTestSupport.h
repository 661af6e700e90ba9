// SPDX-License-Identifier: MIT
#pragma once
// A simulated machine for the setup window tests, the agent's preference
// file, and small helpers to read the drive table.
#include "QNBoolTransformer.h"
#include "QNSetupWindowController.h"
#include "QNTargetDeviceTransformer.h"

#include "defaults/UserDefaults.h"
#include "strings/LocalizedString.h"

#include "SimulatedMachine.h"
#include "TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

#include <memory>

namespace setuptest {

inline QVariantMap agentPreferences()
{
    return qn::UserDefaults(kQNAgentDomain).persistentDomain();
}

inline void setAgentPreferences(const QVariantMap& content)
{
    ASSERT_TRUE(qn::UserDefaults(kQNAgentDomain).setPersistentDomain(content));
}

/// Preferences of a later start: the tray check question was asked before.
inline QVariantMap laterStart(QVariantMap extra = {})
{
    extra.insert(QStringLiteral("didShowCheckTray"), true);
    return extra;
}

inline void removeAgentPreferences()
{
    QFile::remove(qn::UserDefaults::pathForDomain(kQNAgentDomain));
}

/// The simulated machine of the setup tests: drives by "SIMLAB", revision "1.00".
struct Machine : qn::test::SimulatedMachine {
    Machine()
    {
        driveVendor = QStringLiteral("SIMLAB");
        driveRevision = QStringLiteral("1.00");
    }
};

/// Base fixture: a fresh agent domain, the transformers, and a window factory.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static const bool translated = qn::installTranslations(QStringLiteral("QNTrayliftSetup"));
        ASSERT_TRUE(translated) << "the setup program's string table is not embedded";
        removeAgentPreferences();
        QNBoolTransformer::registerTransformer();
        QNTargetDeviceTransformer::registerTransformer();
    }
    void TearDown() override { window.reset(); }

    QNSetupWindowController& open()
    {
        window = std::make_unique<QNSetupWindowController>(&hw.registry);
        window->setQuitHandler([this] { ++quits; });
        window->show();
        return *window;
    }
    /// The texts of a column of the drive table, row by row.
    QStringList column(int column) const
    {
        QStringList out;
        auto* model = window->deviceTableModel();
        for (int row = 0; row < model->rowCount(); ++row)
            out << model->index(row, column).data().toString();
        return out;
    }
    QStringList targetColumn() const { return column(QNDeviceTableModel::TargetColumn); }
    QStringList productColumn() const { return column(QNDeviceTableModel::ProductColumn); }
    static QString mark() { return qn::localizedString("TargetDevice"); }
    bool rowsAre(int n) const
    {
        return qn::test::waitUntil([&] { return window->deviceTableModel()->rowCount() == n; }, 10000);
    }

    Machine hw;
    std::unique_ptr<QNSetupWindowController> window;
    int quits = 0;
};

}  // namespace setuptest
