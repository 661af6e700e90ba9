// SPDX-License-Identifier: MIT
#pragma once
// QNTrayliftSetup: the setup program's application delegate. Starts crash
// tracking, registers the transformers the drive table looks up by name,
// opens the setup window and serves the two web commands of the menu.
#include <QObject>
#include <QUrl>

#include <memory>

class QNSetupWindowController;

namespace qn::hardware {
class DeviceRegistry;
}

/// Our web server; the two web commands open pages below it.
inline constexpr const char* kQNWebServer = "https://www.qnlab.example";

class QNTrayliftSetup : public QObject {
    Q_OBJECT
public:
    explicit QNTrayliftSetup(QObject* parent = nullptr);
    ~QNTrayliftSetup() override;

    /// Crash tracking (unless `trackCrashes` is false), the two transformers,
    /// then the setup window, centred and shown.
    void applicationDidFinishLaunching(bool trackCrashes = true, qn::hardware::DeviceRegistry* registry = nullptr);
    /// Releases the setup window controller.
    void applicationShouldTerminate();

    static QUrl officialWebSiteURL();
    static QUrl contactingFormURL();

    QNSetupWindowController* setupWindowController() const { return _setupWindowController.get(); }

public slots:
    /// Open the product page / the contact form in the default browser; a
    /// missing browser is not reported.
    void openOfficialWebSite();
    void openContactingForm();

private:
    std::unique_ptr<QNSetupWindowController> _setupWindowController;
};

/// The program's main routine.
int qnTrayliftSetupMain(int argc, char** argv);
