// SPDX-License-Identifier: MIT
#include "QNUninstaller.h"

#include "QNPackageCheck.h"
#include "QNUninstallWindowController.h"
#include "alerts/AlertPresenter.h"
#include "alerts/ProgramStart.h"
#include "strings/LocalizedString.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

namespace {

// Test hook: QNLAB_UNINSTALL_AUTOCONFIRM=1 presses OK in the confirmation
// state and again once the removal has finished, so scripted installation
// tests can run the real program without a person at the window.
bool autoConfirmRequested()
{
    return qEnvironmentVariable("QNLAB_UNINSTALL_AUTOCONFIRM") == QLatin1String("1");
}

void armAutoConfirm(QNUninstallWindowController* controller)
{
    if (!autoConfirmRequested())
        return;
    auto* poll = new QTimer(controller);
    QObject::connect(poll, &QTimer::timeout, controller, [controller] {
        if (controller->isVisible() && controller->_okButton->isEnabled())
            controller->_okButton->click();
    });
    poll->start(20);
}

}  // namespace

void QNUninstaller::applicationWillFinishLaunching()
{
    if (QNPackageCheck::deferToPackageManager()) {
        QTimer::singleShot(50, qApp, &QCoreApplication::quit);
        return;
    }
    // Nobody could confirm at a window drawn offscreen: remove nothing.
    if (QGuiApplication::platformName() == QLatin1String("offscreen") && !autoConfirmRequested()) {
        qn::explainMissingDisplay("QNUninstaller", "Nothing was removed.");
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(1); });
        return;
    }
    auto controller = std::make_unique<QNUninstallWindowController>();
    armAutoConfirm(controller.get());
    controller->runModal();
    const int status = controller->exitStatus();
    controller.reset();
    QTimer::singleShot(50, qApp, [status] { QCoreApplication::exit(status); });
}

int QNUninstallerMain(int argc, char** argv)
{
    if (qn::printHelpIfAsked(argc, argv,
                             "Usage: QNUninstaller [--help]\n\n"
                             "Removes the installed files of QNTraylift, after asking for administrator\n"
                             "rights once. An installation from a package is removed with the package\n"
                             "manager instead. It needs a display. See QNUninstaller(1).\n"))
        return 0;
    // Without a display it can still point a package installation to the
    // package manager; anything else it refuses (see above).
    if (!qn::AlertPresenter::displayAvailable())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QNUninstaller"));
    qn::installTranslations(QStringLiteral("QNUninstaller"));
    QNUninstaller delegate;
    delegate.applicationWillFinishLaunching();
    return app.exec();
}
