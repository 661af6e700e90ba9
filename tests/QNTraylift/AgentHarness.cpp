// SPDX-License-Identifier: MIT
#include "AgentHarness.h"

#include "layout/Bundle.h"

#include "TestSupport.h"

#include "defaults/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <csignal>
#include <unistd.h>

namespace qn::test {

namespace {

const QString kAgentDomain = QStringLiteral("com.qnlab.QNTraylift");

bool processAlive(qint64 pid)
{
    if (pid <= 0 || ::kill(pid_t(pid), 0) != 0)
        return false;
    // A zombie has quit; only its parent has not collected it yet.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    return close < 0 || text.mid(close + 2, 1) != "Z";
}

}  // namespace

AgentHarness::AgentHarness() : _dir(QDir::tempPath() + QStringLiteral("/qnagent-XXXXXX")), _hw(_dir.path())
{
    qputenv("QNLAB_TEST_ANSWERS", QFile::encodeName(_dir.path() + QStringLiteral("/answers.jsonl")));
    qputenv("QNLAB_TEST_SHOWN", QFile::encodeName(_dir.path() + QStringLiteral("/shown.jsonl")));
    UserDefaults(kAgentDomain).setPersistentDomain({});
}

AgentHarness::~AgentHarness()
{
    waitForAgentsToQuit(5000);
    qunsetenv("QNLAB_TEST_ANSWERS");
    qunsetenv("QNLAB_TEST_SHOWN");
}

QString AgentHarness::plugDrive(const QString& vendor, const QString& product, bool trayOpen, bool disc, bool mounted)
{
    return _hw.plugDrive(vendor, product, trayOpen, disc, mounted);
}

void AgentHarness::setPreferences(const QVariantMap& prefs)
{
    UserDefaults(kAgentDomain).setPersistentDomain(prefs);
}

QVariantMap AgentHarness::preferences() const
{
    return UserDefaults(kAgentDomain).persistentDomain();
}

void AgentHarness::setAlertAnswers(const QList<int>& buttons)
{
    QFile f(_dir.path() + QStringLiteral("/answers.jsonl"));
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    for (int b : buttons)
        f.write(QStringLiteral("{\"kind\":\"Alert\",\"button\":%1}\n").arg(b).toUtf8());
}

QList<QJsonObject> AgentHarness::shownAlerts() const
{
    QList<QJsonObject> shown;
    QFile f(_dir.path() + QStringLiteral("/shown.jsonl"));
    if (!f.open(QIODevice::ReadOnly))
        return shown;
    while (!f.atEnd()) {
        const QByteArray line = f.readLine().trimmed();
        if (!line.isEmpty())
            shown << QJsonDocument::fromJson(line).object();
    }
    return shown;
}

AgentHarness::Run AgentHarness::qneject(const QStringList& args, const QString& prefix)
{
    const QString root = prefix.isEmpty() ? stageDir() : prefix;
    const ProcessResult r = runProcess(root + QStringLiteral("/bin/qneject"), args, 30000);
    return {r.exitCode, r.out, r.err};
}

std::optional<hardware::SimLogEntry> AgentHarness::first(const QString& prefix) const
{
    const QList<hardware::SimLogEntry> found = entries(prefix);
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

QList<qint64> AgentHarness::agentPids() const
{
    QList<qint64> pids;
    for (const hardware::SimLogEntry& e : entries(QStringLiteral("agent ")))
        if (!pids.contains(e.pid))
            pids << e.pid;
    return pids;
}

bool AgentHarness::waitForAgentsToQuit(int timeoutMs)
{
    const auto allGone = [this] {
        for (qint64 pid : agentPids())
            if (processAlive(pid))
                return false;
        return true;
    };
    if (waitUntil(allGone, timeoutMs))
        return true;
    for (qint64 pid : agentPids())
        if (processAlive(pid))
            ::kill(pid_t(pid), SIGKILL);
    return false;
}

double AgentHarness::seconds(const hardware::SimLogEntry& from, const hardware::SimLogEntry& to)
{
    return from.time.msecsTo(to.time) / 1000.0;
}

QString AgentHarness::makeInstallCopy(const QStringList& programs)
{
    const QString prefix = _dir.path() + QStringLiteral("/install");
    QDir().mkpath(prefix + QStringLiteral("/bin"));
    const QString libDir = QLatin1Char('/') + Bundle::relativeDirectory(Bundle::Location::PrivateLibraries);
    QDir().mkpath(prefix + libDir);
    const QDir lib(stageDir() + libDir);
    for (const QFileInfo& f : lib.entryInfoList(QDir::Files | QDir::NoDotAndDotDot)) {
        const QString target = prefix + libDir + QLatin1Char('/') + f.fileName();
        if (f.isSymLink())
            QFile::link(f.symLinkTarget().section(QLatin1Char('/'), -1), target);
        else
            QFile::copy(f.absoluteFilePath(), target);
    }
    for (const QString& p : programs)
        QFile::copy(stageDir() + QStringLiteral("/bin/") + p, prefix + QStringLiteral("/bin/") + p);
    return prefix;
}

}  // namespace qn::test
