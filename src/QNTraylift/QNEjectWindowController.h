// SPDX-License-Identifier: MIT
#pragma once
// QNEjectWindowController: loads the panel from EjectWindow.ui and runs its two
// buttons. The close-tray button's visibility is the panel's record of whether
// a countdown runs: the agent shows the three countdown controls when it arms
// the countdown, onCloseTray() hides them again before closing the tray.
#include "QNDeviceOperator.h"
#include "QNEjectWindow.h"

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <memory>

namespace Ui {
class EjectWindow;
}

class QNEjectWindowController : public QObject {
    Q_OBJECT
public:
    /// Ends the program (normal termination); the argument is the sender.
    using Terminator = std::function<void(QObject* sender)>;

    explicit QNEjectWindowController(QObject* parent = nullptr);
    ~QNEjectWindowController() override;

    QNEjectWindow* window() const { return _window.get(); }
    void showWindow(QObject* sender = nullptr);

    QPushButton* closeTrayButton() const;
    QPushButton* terminateButton() const;
    QLabel* autocloseMessageField() const;
    QLabel* imageView() const;

    /// The drive the panel's close button acts on (may be null).
    void setDeviceOperator(std::shared_ptr<QNDeviceOperator> deviceOperator);
    const std::shared_ptr<QNDeviceOperator>& deviceOperator() const { return _deviceOperator; }
    /// The agent's pending close timer, stopped when the panel closes the tray
    /// itself. The panel does not own it.
    void setCloseTrayTimer(QTimer* timer);

    /// Replaces how the panel ends the program (tests).
    void setTerminator(Terminator terminator) { _terminator = std::move(terminator); }

    /// Close re-checks made so far by every panel of the process.
    static int retryCount();

public slots:
    /// Closes the tray now when a countdown runs; does nothing otherwise.
    void onCloseTray(QObject* sender = nullptr);
    /// Quits without touching the tray.
    void onTerminate(QObject* sender = nullptr);
    /// Closes the tray when it reads open, then quits. When it reads closed
    /// (pushed in by hand) it checks again every 0.5 s, five times at most in
    /// the life of the process, and quits without a close command.
    void closeTrayTimerMethod(QTimer* timer = nullptr);

private:
    void terminate();

    std::unique_ptr<QNEjectWindow> _window;
    std::unique_ptr<Ui::EjectWindow> _ui;
    std::shared_ptr<QNDeviceOperator> _deviceOperator;
    QPointer<QTimer> _closeTrayTimer;
    Terminator _terminator;
};
