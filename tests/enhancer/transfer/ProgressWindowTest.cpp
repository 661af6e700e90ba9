// SPDX-License-Identifier: MIT
// The progress window on its own, and as the engine's sheet during a real
// (rate-limited) FTP transfer.
#include "LoopbackServer.h"
#include "QNLowNetwork.h"
#include "QNProgressWindowController.h"
#include "TestSupport.h"
#include "TransferTestSupport.h"
#include "strings/LocalizedString.h"

#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

using enum QNLowNetworkResult;

namespace {

class CancelCounter : public QObject {
    Q_OBJECT
public:
    int count = 0;
    QObject* lastSender = nullptr;
    Q_INVOKABLE void stop(QObject* sender)
    {
        ++count;
        lastSender = sender;
    }
};

}  // namespace

TEST(QNProgressWindowController, ShowsAtOnceAsABusyBar)
{
    QNProgressWindowController controller;
    EXPECT_TRUE(controller.isVisible());
    EXPECT_EQ(controller.progressIndicator()->minimum(), 0);
    EXPECT_EQ(controller.progressIndicator()->maximum(), 0) << "indeterminate";
    EXPECT_EQ(controller.target(), nullptr);
    EXPECT_TRUE(controller.cancelSelector().isEmpty());
}

TEST(QNProgressWindowController, CancelReachesTheTargetEachTime)
{
    QNProgressWindowController controller;
    controller.cancelButton()->click();  // no target yet: nothing happens
    CancelCounter counter;
    controller.setTarget(&counter, "stop");
    controller.setTarget(&counter, "stop");  // the same target again
    EXPECT_EQ(controller.target(), &counter);
    controller.cancelButton()->click();
    controller.cancelButton()->click();
    EXPECT_EQ(counter.count, 2);
    EXPECT_EQ(counter.lastSender, &controller);
    QTest::keyClick(&controller, Qt::Key_Escape);
    EXPECT_EQ(counter.count, 3) << "Escape means Cancel";
    controller.close();
    EXPECT_EQ(counter.count, 4) << "closing the window by hand means Cancel";
    EXPECT_TRUE(controller.isVisible()) << "the owner decides when the window goes";
    controller.closeWindow();
    EXPECT_FALSE(controller.isVisible());
    EXPECT_EQ(counter.count, 4);
}

TEST(QNProgressWindowController, ADestroyedTargetIsNotCalled)
{
    QNProgressWindowController controller;
    {
        CancelCounter counter;
        controller.setTarget(&counter, "stop");
    }
    EXPECT_EQ(controller.target(), nullptr);
    controller.cancelButton()->click();  // must not touch the destroyed object
}

TEST(QNProgressWindowController, SheetIsWindowModalOnItsDocumentWindow)
{
    QWidget doc;
    doc.show();
    QNProgressWindowController controller;
    controller.beginSheet(&doc);
    EXPECT_TRUE(controller.isSheet());
    EXPECT_EQ(controller.parentWidget(), &doc);
    EXPECT_EQ(controller.windowModality(), Qt::WindowModal);
    EXPECT_TRUE(controller.isVisible());
    controller.endSheet();
    EXPECT_FALSE(controller.isSheet());
    EXPECT_EQ(controller.parentWidget(), nullptr);
    EXPECT_FALSE(controller.isVisible());
}

TEST(QNLowNetworkSheet, ShowsProgressOfAThrottledFtpDownloadAndCancelsFromTheButton)
{
    // 400 KB/s: a 4 MB file takes long enough to watch and cancel.
    LoopbackServer slow(LoopbackServer::Kind::Ftp, {"400000"});
    if (!slow.ok())
        GTEST_SKIP() << "pyftpdlib test server unavailable: " << slow.error().toStdString();
    const qsizetype size = 4000000;
    slow.put("slow.bin", patternBytes(size, 5));
    QTemporaryDir dir;
    QWidget doc;
    doc.show();

    QNLowNetwork engine;
    Completions done(&engine);
    ASSERT_EQ(engine.downloadURL(QUrl(slow.base() + "/slow.bin"), dir.filePath("slow.bin"), &doc,
                                 {{kQNLowNetworkProgressWindowTitle, "Fetching slow.bin"},
                                  {kQNLowNetworkPassiveModeOption, true}}),
              kQNLowNetworkStarted);
    QNProgressWindowController* sheet = engine.progressWindowController();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->parentWidget(), &doc);
    EXPECT_EQ(sheet->windowTitle(), "Fetching slow.bin");
    EXPECT_TRUE(sheet->isVisible());
    ASSERT_TRUE(qn::test::waitUntil([&] { return sheet->progressIndicator()->value() > 0; }, 20000));
    EXPECT_EQ(sheet->progressIndicator()->maximum(), size) << "determinate, with the size the server reported";

    sheet->cancelButton()->click();
    EXPECT_EQ(done.wait(), kQNLowNetworkCancelled);
    EXPECT_TRUE(qn::test::waitUntil([&] { return engine.progressWindowController() == nullptr; }));
    EXPECT_TRUE(doc.findChildren<QNProgressWindowController*>().isEmpty());
    const QByteArray kept = readFile(dir.filePath("slow.bin"));
    EXPECT_GT(kept.size(), 0);
    EXPECT_LT(kept.size(), size);
    EXPECT_EQ(kept, patternBytes(size, 5).left(kept.size())) << "the bytes so far stay, in order";
}

TEST(QNLowNetworkSheet, DefaultTitlesComeFromTheLibrarysOwnTable)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("src.txt"), "x");
    QNLowNetwork engine;
    {
        Completions done(&engine);
        // A free-standing window when no document window is given.
        ASSERT_EQ(engine.downloadURL(QUrl::fromLocalFile(dir.filePath("src.txt")), dir.filePath("dst.txt"), nullptr, {}),
                  kQNLowNetworkStarted);
        ASSERT_NE(engine.progressWindowController(), nullptr);
        EXPECT_EQ(engine.progressWindowController()->parentWidget(), nullptr);
        EXPECT_EQ(engine.progressWindowController()->windowTitle(), "Downloading");
        EXPECT_EQ(done.wait(), kQNLowNetworkSuccess);
    }
    // The engine's table was installed with the first window.
    EXPECT_EQ(qn::localizedString(kQNNetworkUploadProgressWindowTitle), "Uploading");
}

#include "ProgressWindowTest.moc"

