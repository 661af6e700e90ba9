// SPDX-License-Identifier: MIT
#pragma once
// Runs the real agent and trigger as processes against a simulated machine
// (the SimulatedMachine fixture, in the harness's folder): the alert hook
// files, the agent's preferences, and helpers that read the machine's event
// log.
#include "SimulatedMachine.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

#include <optional>

namespace qn::test {

class AgentHarness {
public:
    /// A machine file in a fresh folder, exported (with the alert hook files)
    /// to every process the test starts.
    AgentHarness();
    ~AgentHarness();

    hardware::SimMachine& machine() { return _hw.machine; }
    SimulatedMachine& hardware() { return _hw; }
    QString folder() const { return _dir.path(); }

    /// A drive with a tray; `disc` puts a disc with one volume (mounted when
    /// `mounted`) on it. Returns its bsd name.
    QString plugDrive(const QString& vendor, const QString& product, bool trayOpen, bool disc = false,
                      bool mounted = false);
    /// Replaces the agent's whole preference domain.
    void setPreferences(const QVariantMap& prefs);
    QVariantMap preferences() const;
    /// Scripted answers of the alert hook, one per alert shown, in order.
    void setAlertAnswers(const QList<int>& buttons);
    /// What the alert hook recorded.
    QList<QJsonObject> shownAlerts() const;

    /// Runs bin/qneject (from `prefix`, the build's stage by default) to completion.
    struct Run {
        int exitCode = -1;
        QByteArray out, err;
    };
    Run qneject(const QStringList& args, const QString& prefix = {});

    // --- Event log ------------------------------------------------------------
    QList<hardware::SimLogEntry> log() const { return _hw.entries(); }
    /// Entries whose text starts with `prefix`.
    QList<hardware::SimLogEntry> entries(const QString& prefix) const { return _hw.entries(prefix); }
    std::optional<hardware::SimLogEntry> first(const QString& prefix) const;
    /// Waits until an entry starting with `prefix` exists.
    std::optional<hardware::SimLogEntry> waitFor(const QString& prefix, int timeoutMs = 15000) const
    {
        return _hw.waitForLog(prefix, timeoutMs);
    }
    /// Waits until every agent that wrote to the log has quit; kills (by pid)
    /// any that is still running after the timeout and returns false then.
    bool waitForAgentsToQuit(int timeoutMs = 15000);
    /// Distinct pids of the agent processes seen in the log.
    QList<qint64> agentPids() const;

    static double seconds(const hardware::SimLogEntry& from, const hardware::SimLogEntry& to);

    /// The drive's state now.
    std::optional<hardware::SimDrive> drive(const QString& bsdName) const { return _hw.drive(bsdName); }

    /// A private copy of the installation (bin, lib) without the agent, so a
    /// test can add its own programs beside the programs it copies. Returns
    /// its prefix.
    QString makeInstallCopy(const QStringList& programs);

private:
    QTemporaryDir _dir;
    SimulatedMachine _hw;  // exports the machine until the agents have quit
};

}  // namespace qn::test
