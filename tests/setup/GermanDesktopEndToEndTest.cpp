// SPDX-License-Identifier: MIT
// On a German desktop (LANG=de_DE.UTF-8) the real agent asks its first-run
// question in German, opens the real setup program, and the setup window
// comes up in German: both programs choose their tables from the locale.
#include "AgentHarness.h"
#include "TestSupport.h"

#include <QEventLoop>
#include <QFile>
#include <QFileSystemWatcher>
#include <QJsonArray>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <gtest/gtest.h>

using qn::test::AgentHarness;

namespace {

QString stageProgram(const QString& name)
{
    return qn::test::stageDir() + QStringLiteral("/bin/") + name;
}

/// Sets locale variables for the programs the test starts; restores them after.
class ScopedLocale {
public:
    explicit ScopedLocale(std::initializer_list<std::pair<const char*, const char*>> vars)
    {
        for (const auto& [name, value] : vars) {
            _saved.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
            qputenv(name, value);
        }
    }
    ~ScopedLocale()
    {
        for (const auto& s : _saved) {
            if (s.wasSet)
                qputenv(s.name.constData(), s.value);
            else
                qunsetenv(s.name.constData());
        }
    }

private:
    struct Saved {
        QByteArray name, value;
        bool wasSet;
    };
    QList<Saved> _saved;
};

/// Waits for the programs' record of a shown window or alert: woken by file
/// changes in the harness folder, bounded by `timeoutMs`.
std::optional<QJsonObject> waitForShown(const AgentHarness& h, const QString& kind, int timeoutMs)
{
    const QString file = h.folder() + QStringLiteral("/shown.jsonl");
    std::optional<QJsonObject> found;
    QEventLoop loop;
    QFileSystemWatcher watcher({h.folder()});
    const auto look = [&] {
        if (QFile::exists(file) && !watcher.files().contains(file))
            watcher.addPath(file);
        for (const QJsonObject& shown : h.shownAlerts())
            if (shown.value(QStringLiteral("kind")).toString() == kind) {
                found = shown;
                loop.quit();
                return;
            }
    };
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, look);
    QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, &loop, look);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    look();
    if (!found)
        loop.exec();
    return found;
}

QStringList buttonsOf(const QJsonObject& shown)
{
    QStringList buttons;
    for (const QJsonValue& b : shown.value(QStringLiteral("buttons")).toArray())
        buttons << b.toString();
    return buttons;
}

}  // namespace

// A first run of the agent on one drive, its question answered by the text of
// a button; the setup's tray-check question is off.
class GermanDesktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QFile::exists(stageProgram(QStringLiteral("QNTraylift"))))
            GTEST_SKIP() << "the agent is not built in " << qn::test::stageDir().toStdString();
        h.plugDrive("SIMLAB", "Drive", /*trayOpen*/ false);
        h.setPreferences({{"didShowCheckTray", true}});
    }
    void answerWith(const QByteArray& button)
    {
        QFile answers(h.folder() + QStringLiteral("/answers.jsonl"));
        ASSERT_TRUE(answers.open(QIODevice::WriteOnly));
        answers.write("{\"kind\":\"Alert\",\"button\":\"" + button + "\"}\n");
    }

    AgentHarness h;
};

TEST_F(GermanDesktop, AgentQuestionAndSetupWindowSpeakGerman)
{
    if (!QFile::exists(stageProgram(QStringLiteral("QNTrayliftSetup"))))
        GTEST_SKIP() << "the setup is not built in " << qn::test::stageDir().toStdString();
    // Answered by its German title: an English question finds no answer.
    answerWith("Ja");

    const ScopedLocale german({{"LANG", "de_DE.UTF-8"}});
    qint64 agentPid = 0;
    ASSERT_TRUE(QProcess::startDetached(stageProgram(QStringLiteral("QNTraylift")), {}, {}, &agentPid));

    const auto question = waitForShown(h, QStringLiteral("Alert"), 20000);
    ASSERT_TRUE(question) << "the agent showed no question";
    EXPECT_TRUE(question->value(QStringLiteral("message")).toString().startsWith(
        QStringLiteral("QNTraylift wird zum ersten Mal gestartet.")))
        << question->value(QStringLiteral("message")).toString().toStdString();
    EXPECT_EQ(buttonsOf(*question), (QStringList{QStringLiteral("Ja"), QStringLiteral("Nein")}));

    const auto window = waitForShown(h, QStringLiteral("SetupWindow"), 30000);
    ASSERT_TRUE(window) << "the setup window did not open";
    EXPECT_EQ(window->value(QStringLiteral("title")).toString(), QStringLiteral("QNTraylift einrichten"));
    EXPECT_EQ(window->value(QStringLiteral("message")).toString(),
              QStringLiteral("Schublade automatisch schließen nach\nMit der Auswurftaste öffnen\n"
                             "Auswurftaste des Laufwerks übernehmen"));
    EXPECT_EQ(buttonsOf(*window),
              (QStringList{QStringLiteral("Als Ziel festlegen"), QStringLiteral("Schubladen prüfen …")}));

    // The setup waits for the user: end it (it was started for this test).
    const qint64 setupPid = window->value(QStringLiteral("pid")).toInteger();
    ASSERT_GT(setupPid, 0);
    ASSERT_NE(setupPid, agentPid);
    ::kill(pid_t(setupPid), SIGTERM);
    EXPECT_TRUE(h.waitForAgentsToQuit(20000));
}

TEST_F(GermanDesktop, UnknownLanguageFallsBackToEnglish)
{
    answerWith("No");

    // French is not shipped; LC_ALL wins over a German LANG as it does in C.
    const ScopedLocale french({{"LANG", "de_DE.UTF-8"}, {"LC_ALL", "fr_FR.UTF-8"}});
    ASSERT_TRUE(QProcess::startDetached(stageProgram(QStringLiteral("QNTraylift")), {}));
    const auto question = waitForShown(h, QStringLiteral("Alert"), 20000);
    ASSERT_TRUE(question) << "the agent showed no question";
    EXPECT_TRUE(question->value(QStringLiteral("message")).toString().startsWith(QStringLiteral("This is the first time")));
    EXPECT_EQ(buttonsOf(*question), (QStringList{QStringLiteral("Yes"), QStringLiteral("No")}));
    EXPECT_TRUE(h.waitForAgentsToQuit(20000));
}
