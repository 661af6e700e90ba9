// SPDX-License-Identifier: MIT
#include "QNCrypto.h"
#include "QNUninstallWindowController.h"

#include "TestSupport.h"
#include "strings/LocalizedString.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <sys/prctl.h>

namespace {

using qn::test::readFile;

bool writeFile(const QString& path, const QByteArray& data, bool executable = false)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size())
        return false;
    f.close();
    return !executable
        || f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// A window wired to a list in a scratch folder, the real helper behind a fake
// elevator, and either /bin/rm or a remover that only records its arguments.
class UninstallWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        prompts = dir.filePath("prompts.log");
        removals = dir.filePath("removals.log");
        ASSERT_TRUE(writeFile(dir.filePath("grant"), "#!/bin/sh\necho x >> '" + prompts.toUtf8() + "'\nexec \"$@\"\n", true));
        ASSERT_TRUE(writeFile(dir.filePath("dismiss"), "#!/bin/sh\necho x >> '" + prompts.toUtf8() + "'\nexit 126\n", true));
        ASSERT_TRUE(writeFile(dir.filePath("recorder"),
                              "#!/bin/sh\nfor a; do printf '[%s]' \"$a\" >> '" + removals.toUtf8()
                                  + "'; done\necho >> '" + removals.toUtf8() + "'\n",
                              true));
        ASSERT_TRUE(writeFile(dir.filePath("fail-on-b"), "#!/bin/sh\ncase \"$2\" in */b) exit 1;; esac\nexec /bin/rm \"$@\"\n", true));
        helper = qn::test::privilegedHelperAllowing(dir.filePath("suite"),
                                                    {"/bin/rm", dir.filePath("recorder"), dir.filePath("fail-on-b")});
        ASSERT_FALSE(helper.isEmpty());
        newController("grant");
    }
    // A fresh window that runs the helper behind the elevator of that name.
    void newController(const char* elevator)
    {
        controller = std::make_unique<QNUninstallWindowController>();
        controller->authorize()->setHelperPath(helper);
        controller->authorize()->setElevationCommand({dir.filePath(elevator)});
    }
    void writeList(const QByteArray& text)
    {
        const QString plain = dir.filePath("UnInstallFiles.txt");
        ASSERT_TRUE(writeFile(plain, text));
        QFile::remove(plain + ".qne");
        ASSERT_FALSE(QNCrypto::encryptFileAtPath(plain, QNUninstallWindowController::uninstallListKey()).isEmpty());
        QFile::remove(plain);
        controller->setListPath(plain + ".qne");
    }
    // Runs the window modally: presses OK, then OK again once finished.
    int runConfirmed()
    {
        QTimer::singleShot(0, controller.get(), [this] { QTest::mouseClick(controller->_okButton, Qt::LeftButton); });
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, controller.get(), [this] {
            if (!controller->isFinished() && controller->index() > 0)
                dumpableWhileRemoving = ::prctl(PR_GET_DUMPABLE);
            if (controller->isFinished()) {
                leftShown = controller->_leftItemsView->isVisible() ? controller->_leftItemsView->toPlainText() : QString();
                finishedShown = controller->_messageField->text();
                cancelEnabledAtEnd = controller->_cancelButton->isEnabled();
                indicatorVisibleAtEnd = controller->_progressIndicator->isVisible();
                controller->_okButton->click();
            }
        });
        poll.start(20);
        return controller->runModal();
    }
    int promptCount() const { return int(readFile(prompts).count('\n')); }

    QTemporaryDir dir;
    QString helper, prompts, removals;
    QString leftShown;
    int dumpableWhileRemoving = -1;
    std::unique_ptr<QNUninstallWindowController> controller;
    QString finishedShown;
    bool cancelEnabledAtEnd = true;
    bool indicatorVisibleAtEnd = true;
};

}  // namespace

TEST_F(UninstallWindow, ConfirmStateShowsOnlyTheMessageAndButtons)
{
    QTimer::singleShot(0, controller.get(), [this] {
        EXPECT_TRUE(controller->isVisible());
        EXPECT_FALSE(controller->_progressIndicator->isVisible());
        EXPECT_FALSE(controller->_uninstallingMessage->isVisible());
        EXPECT_TRUE(controller->_okButton->isEnabled());
        EXPECT_TRUE(controller->_cancelButton->isEnabled());
        QTest::mouseClick(controller->_cancelButton, Qt::LeftButton);
    });
    writeList("/should/not/be/touched\n");
    controller->setRemoverPath(dir.filePath("recorder"));
    EXPECT_EQ(controller->runModal(), 0);
    EXPECT_EQ(promptCount(), 0);
    EXPECT_FALSE(QFile::exists(removals));
}

TEST_F(UninstallWindow, RemovesEveryItemInOrderWithOnePrompt)
{
    QDir(dir.path()).mkpath("tree/sub");
    ASSERT_TRUE(writeFile(dir.filePath("tree/sub/f"), "x"));
    ASSERT_TRUE(writeFile(dir.filePath("file one"), "x"));
    ASSERT_TRUE(writeFile(dir.filePath("keep"), "x"));
    writeList(("\n  " + dir.filePath("tree") + "\n\n" + dir.filePath("file one") + "\r\n").toUtf8());
    EXPECT_EQ(runConfirmed(), 1);
    EXPECT_FALSE(QFile::exists(dir.filePath("tree")));
    EXPECT_FALSE(QFile::exists(dir.filePath("file one")));
    EXPECT_TRUE(QFile::exists(dir.filePath("keep")));
    EXPECT_EQ(promptCount(), 1);
    EXPECT_EQ(finishedShown, qn::localizedString("FinishedUninstalling"));
    EXPECT_FALSE(cancelEnabledAtEnd);
    EXPECT_FALSE(indicatorVisibleAtEnd);
    EXPECT_TRUE(leftShown.isEmpty());
    EXPECT_EQ(controller->exitStatus(), 0);
    EXPECT_EQ(dumpableWhileRemoving, 0) << "not dumpable while the helper runs";
    EXPECT_EQ(::prctl(PR_GET_DUMPABLE), 1) << "dumpable again afterwards";
    EXPECT_FALSE(controller->authorize()->isAuthorized()) << "the helper ends with the removal loop";
}

TEST_F(UninstallWindow, PartialRemovalSaysHowManyAndWhichPathsAreLeft)
{
    controller->setRemoverPath(dir.filePath("fail-on-b"));
    for (const char* name : {"a", "b", "c"})
        ASSERT_TRUE(writeFile(dir.filePath(name), "x"));
    writeList((dir.filePath("a") + "\n" + dir.filePath("b") + "\n" + dir.filePath("c") + "\n").toUtf8());
    EXPECT_EQ(runConfirmed(), 1);
    EXPECT_FALSE(QFile::exists(dir.filePath("a")));
    EXPECT_TRUE(QFile::exists(dir.filePath("b")));
    EXPECT_FALSE(QFile::exists(dir.filePath("c")));
    EXPECT_EQ(controller->removedCount(), 2u);
    EXPECT_TRUE(finishedShown.startsWith(qn::localizedString("UninstallSomeRemoved").arg(2).arg(3)))
        << finishedShown.toStdString();
    EXPECT_NE(finishedShown, qn::localizedString("FinishedUninstalling"));
    EXPECT_EQ(leftShown, dir.filePath("b"));
    EXPECT_EQ(controller->exitStatus(), 2);
}

TEST_F(UninstallWindow, RemoverGetsForceFlagAndExactPaths)
{
    controller->setRemoverPath(dir.filePath("recorder"));
    writeList("/opt/qn/a\n\t/opt/qn/with trailing space \n/opt/qn/c");
    EXPECT_EQ(runConfirmed(), 1);
    EXPECT_EQ(readFile(removals), "[-Rf][/opt/qn/a]\n[-Rf][/opt/qn/with trailing space ]\n[-Rf][/opt/qn/c]\n");
}

TEST_F(UninstallWindow, DangerousEntriesAreSkippedAndReported)
{
    controller->setRemoverPath(dir.filePath("recorder"));
    writeList("/opt/qn/a\n/\n/usr\nrelative/path\n/opt/qn/../../etc\n/opt/qn/b\n");
    EXPECT_EQ(runConfirmed(), 1);
    EXPECT_EQ(readFile(removals), "[-Rf][/opt/qn/a]\n[-Rf][/opt/qn/b]\n");
    EXPECT_EQ(controller->refusedItems(), (QStringList{"/", "/usr", "relative/path", "/opt/qn/../../etc"}));
    EXPECT_TRUE(finishedShown.startsWith(qn::localizedString("UninstallSomeRemoved").arg(2).arg(6)));
    EXPECT_EQ(leftShown, controller->refusedItems().join('\n'));
    for (const QString& refused : controller->refusedItems())
        EXPECT_TRUE(finishedShown.contains(refused)) << refused.toStdString();
}

TEST_F(UninstallWindow, FailedElevationRemovesNothingAndSaysWhy)
{
    ASSERT_TRUE(writeFile(dir.filePath("refuse"), "#!/bin/sh\nexit 127\n", true));
    struct Case {
        const char* elevator;
        const char* reason;
    } const cases[] = {{"dismiss", "UninstallReasonCanceled"},
                       {"refuse", "UninstallReasonDenied"},
                       {"no-such-elevator", "UninstallReasonNoElevator"}};
    ASSERT_TRUE(writeFile(dir.filePath("a"), "x"));
    ASSERT_TRUE(writeFile(dir.filePath("b"), "x"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.elevator);
        newController(c.elevator);
        writeList((dir.filePath("a") + "\n" + dir.filePath("b") + "\n").toUtf8());
        const int promptsBefore = promptCount();
        EXPECT_EQ(runConfirmed(), 1);
        EXPECT_TRUE(QFile::exists(dir.filePath("a")));
        EXPECT_TRUE(QFile::exists(dir.filePath("b")));
        EXPECT_LE(promptCount() - promptsBefore, 1) << "the loop ends at the first failure";
        EXPECT_EQ(controller->index(), 2u);
        EXPECT_TRUE(finishedShown.startsWith(qn::localizedString("UninstallNothingRemoved") + ' '
                                             + qn::localizedString(c.reason)))
            << finishedShown.toStdString();
        EXPECT_EQ(leftShown, dir.filePath("a") + "\n" + dir.filePath("b"));
        EXPECT_EQ(controller->exitStatus(), 1);
    }
}

TEST_F(UninstallWindow, MissingOrUndecryptableListSaysSo)
{
    ASSERT_TRUE(qn::installTranslations(QStringLiteral("QNUninstaller")));
    controller->setRemoverPath(dir.filePath("recorder"));
    controller->setListPath(dir.filePath("nothing.qne"));
    EXPECT_EQ(runConfirmed(), 1);
    EXPECT_EQ(promptCount(), 0);
    EXPECT_EQ(finishedShown, "Nothing was removed. The list of installed files is missing: " + dir.filePath("nothing.qne"));
    EXPECT_EQ(controller->exitStatus(), 1);

    ASSERT_TRUE(writeFile(dir.filePath("other-key.txt"), "/opt/qn/a\n"));
    const QString qne = QNCrypto::encryptFileAtPath(dir.filePath("other-key.txt"), QStringLiteral("not the key"));
    ASSERT_FALSE(qne.isEmpty());
    newController("grant");
    controller->setRemoverPath(dir.filePath("recorder"));
    controller->setListPath(qne);
    EXPECT_EQ(runConfirmed(), 1);
    EXPECT_TRUE(finishedShown.startsWith("Nothing was removed. The list of installed files cannot be read"))
        << finishedShown.toStdString();
    EXPECT_EQ(promptCount(), 0);
    EXPECT_FALSE(QFile::exists(removals));
    EXPECT_EQ(controller->exitStatus(), 1);
}

TEST_F(UninstallWindow, ProgramExitStatusIsNonZeroWhenNothingWasRemoved)
{
    // The staged program with its staged list, behind an elevator that is
    // dismissed: nothing can be removed, and the exit status says so.
    const QString program = QDir(qn::test::stageDir()).filePath("bin/QNUninstaller");
    ASSERT_TRUE(QFile::exists(program));
    for (const char* elevator : {"dismiss", "no-such-elevator"}) {
        auto run = qn::test::runProcess(program, {}, 60000,
                                        {"QNLAB_ELEVATOR=" + dir.filePath(elevator), "QNLAB_UNINSTALL_AUTOCONFIRM=1",
                                         "QT_QPA_PLATFORM=offscreen"});
        ASSERT_FALSE(run.timedOut) << elevator;
        EXPECT_EQ(run.exitCode, 1) << elevator << run.err.constData();
    }
}

TEST_F(UninstallWindow, EscapeIsIgnoredOnceRemovalHasStarted)
{
    controller->setRemoverPath(dir.filePath("recorder"));
    writeList("/opt/qn/a\n");
    QTimer::singleShot(0, controller.get(), [this] {
        QTest::mouseClick(controller->_okButton, Qt::LeftButton);
        EXPECT_FALSE(controller->_cancelButton->isEnabled());
    });
    QTimer poll;
    int escapes = 0;
    QObject::connect(&poll, &QTimer::timeout, controller.get(), [&] {
        if (!controller->isFinished())
            return;
        if (escapes++ == 0) {
            QTest::keyClick(controller.get(), Qt::Key_Escape);
            EXPECT_TRUE(controller->isVisible());
        } else {
            controller->_okButton->click();
        }
    });
    poll.start(20);
    EXPECT_EQ(controller->runModal(), 1);
    EXPECT_GE(escapes, 2);
}

TEST_F(UninstallWindow, FinishedTextComesFromTheProgramsTable)
{
    ASSERT_TRUE(qn::installTranslations(QStringLiteral("QNUninstaller")));
    writeList("");
    EXPECT_EQ(runConfirmed(), 1);
    EXPECT_EQ(finishedShown, "QNTraylift has been removed. Click OK to quit.");
}
