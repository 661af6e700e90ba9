// SPDX-License-Identifier: MIT
#include "QNEjectWindowController.h"

#include "AgentTrace.h"
#include "AgentAlerts.h"
#include "ui_EjectWindow.h"

#include "events/EventManager.h"

#include <QImageReader>
#include <QPixmap>

namespace {

constexpr int kCloseRetryMs = QNDeviceOperator::kCloseRecheckMs;
constexpr int kMaxCloseRetries = QNDeviceOperator::kMaxCloseRechecks;
int s_retryCount = 0;

}  // namespace

QNEjectWindowController::QNEjectWindowController(QObject* parent)
    : QObject(parent), _window(std::make_unique<QNEjectWindow>()), _ui(std::make_unique<Ui::EjectWindow>())
{
    _ui->setupUi(_window.get());
    // The symbol is a PNG: naming the format and turning detection off keeps
    // Qt from loading every image-format plug-in to ask whether it reads PNG.
    QImageReader symbol(QStringLiteral(":/QNTraylift/eject.png"), "png");
    symbol.setAutoDetectImageFormat(false);
    _ui->imageView->setPixmap(QPixmap::fromImage(symbol.read()));
    _window->placeOnMainScreen();
    connect(_ui->closeTrayButton, &QPushButton::clicked, this, [this] { onCloseTray(_ui->closeTrayButton); });
    connect(_ui->terminateButton, &QPushButton::clicked, this, [this] { onTerminate(_ui->terminateButton); });
    _terminator = [](QObject*) { qn::events::EventManager::terminate(0); };
}

QNEjectWindowController::~QNEjectWindowController()
{
    if (_window)
        _window->close();
}

void QNEjectWindowController::showWindow(QObject*)
{
    _window->show();
    _window->raise();
}

QPushButton* QNEjectWindowController::closeTrayButton() const { return _ui->closeTrayButton; }
QPushButton* QNEjectWindowController::terminateButton() const { return _ui->terminateButton; }
QLabel* QNEjectWindowController::autocloseMessageField() const { return _ui->autocloseMessage; }
QLabel* QNEjectWindowController::imageView() const { return _ui->imageView; }

void QNEjectWindowController::setDeviceOperator(std::shared_ptr<QNDeviceOperator> deviceOperator)
{
    _deviceOperator = std::move(deviceOperator);
}

void QNEjectWindowController::setCloseTrayTimer(QTimer* timer)
{
    _closeTrayTimer = timer;
}

int QNEjectWindowController::retryCount()
{
    return s_retryCount;
}

void QNEjectWindowController::onCloseTray(QObject*)
{
    if (_ui->closeTrayButton->isHidden())
        return;
    if (_closeTrayTimer)
        _closeTrayTimer->stop();
    _closeTrayTimer = nullptr;
    _ui->closeTrayButton->hide();
    _ui->terminateButton->hide();
    _ui->autocloseMessage->hide();
    qnAgentTrace(QStringLiteral("close-now"));
    closeTrayTimerMethod(nullptr);
}

void QNEjectWindowController::onTerminate(QObject*)
{
    qnAgentTrace(QStringLiteral("leave-open"));
    terminate();
}

void QNEjectWindowController::closeTrayTimerMethod(QTimer*)
{
    const QNDeviceOperator::CloseOutcome outcome =
        _deviceOperator ? _deviceOperator->closeTrayIfOpen() : QNDeviceOperator::CloseOutcome::Failed;
    if (outcome == QNDeviceOperator::CloseOutcome::ReadsClosed && s_retryCount < kMaxCloseRetries) {
        ++s_retryCount;
        qnAgentTrace(QStringLiteral("close-recheck %1").arg(s_retryCount));
        QTimer::singleShot(kCloseRetryMs, this, [this] { closeTrayTimerMethod(nullptr); });
        return;
    }
    if (outcome == QNDeviceOperator::CloseOutcome::NotPermitted)
        qnShowNoPermissionAlert(*_deviceOperator);
    terminate();
}

void QNEjectWindowController::terminate()
{
    if (_terminator)
        _terminator(this);
}
