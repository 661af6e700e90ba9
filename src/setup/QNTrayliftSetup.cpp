// SPDX-License-Identifier: MIT
#include "QNTrayliftSetup.h"

#include "DriveButtonOption.h"
#include "EjectKeyOption.h"
#include "QNBoolTransformer.h"
#include "QNCrashReporterKit.h"
#include "QNSetupWindowController.h"
#include "QNTargetDeviceTransformer.h"

#include "alerts/AlertPresenter.h"
#include "alerts/ProgramStart.h"
#include "strings/LocalizedString.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QPushButton>
#include <QScreen>

QNTrayliftSetup::QNTrayliftSetup(QObject* parent)
    : QObject(parent)
{
}

QNTrayliftSetup::~QNTrayliftSetup() = default;

void QNTrayliftSetup::applicationDidFinishLaunching(bool trackCrashes, qn::hardware::DeviceRegistry* registry)
{
    if (trackCrashes)
        QNCrashReporterKit::sharedInstance().beginTracking();
    // The drive table finds both by name, so they come before the window.
    QNBoolTransformer::registerTransformer();
    QNTargetDeviceTransformer::registerTransformer();

    _setupWindowController = std::make_unique<QNSetupWindowController>(registry);
    QNSetupWindowController* window = _setupWindowController.get();
    connect(window->officialWebSiteAction(), &QAction::triggered, this, &QNTrayliftSetup::openOfficialWebSite);
    connect(window->contactingFormAction(), &QAction::triggered, this, &QNTrayliftSetup::openContactingForm);
    if (QScreen* screen = window->screen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    window->show();
    // Out-of-process tests read the window's texts through the alert hook.
    qn::AlertPresenter::shown(QStringLiteral("SetupWindow"), window->windowTitle(),
                              window->autoCloseCheckBox()->text() + QLatin1Char('\n')
                                  + window->ejectKeyOption()->checkBox()->text() + QLatin1Char('\n')
                                  + window->driveButtonOption()->checkBox()->text(),
                              {window->setAsTargetButton()->text(), window->checkTraysButton()->text()});
}

void QNTrayliftSetup::applicationShouldTerminate()
{
    _setupWindowController.reset();
}

QUrl QNTrayliftSetup::officialWebSiteURL()
{
    return QUrl(QString::fromLatin1(kQNWebServer) + QStringLiteral("/qntraylift/"));
}

QUrl QNTrayliftSetup::contactingFormURL()
{
    return QUrl(QString::fromLatin1(kQNWebServer) + QStringLiteral("/contact.php"));
}

void QNTrayliftSetup::openOfficialWebSite()
{
    QDesktopServices::openUrl(officialWebSiteURL());
}

void QNTrayliftSetup::openContactingForm()
{
    QDesktopServices::openUrl(contactingFormURL());
}

int qnTrayliftSetupMain(int argc, char** argv)
{
    if (qn::printHelpIfAsked(argc, argv,
                             "Usage: QNTrayliftSetup [--help]\n\n"
                             "Chooses the drive that the eject key, qneject and the widget act on, sets the\n"
                             "auto-close options, binds the eject key, and runs the tray check that finds\n"
                             "slot-loading drives. It needs a display. See QNTrayliftSetup(1).\n"))
        return 0;
    if (!qn::requireDisplay("QNTrayliftSetup", "Nothing was changed."))
        return 1;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QNTrayliftSetup"));
    qn::installTranslations(QStringLiteral("QNTrayliftSetup"));
    QNTrayliftSetup delegate;
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &QNTrayliftSetup::applicationShouldTerminate);
    delegate.applicationDidFinishLaunching();
    return app.exec();
}
