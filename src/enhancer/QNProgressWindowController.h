// SPDX-License-Identifier: MIT
#pragma once
// A small window with a progress bar and a Cancel button, shown either as a
// window-modal sheet on a document window or on its own. It knows nothing of
// the work it shows: the owner drives the bar through progressIndicator() and
// is told of Cancel through a target object and the name of one of its
// invokable methods, called with this controller as its only argument
// (declared as QObject*). Main thread only.
#include <QByteArray>
#include <QDialog>
#include <QPointer>
#include <memory>

class QProgressBar;
class QPushButton;
namespace Ui {
class QNProgressWindow;
}

class QNProgressWindowController : public QDialog {
    Q_OBJECT
public:
    /// Builds the window from its form and shows it at once, indeterminate
    /// and animating. No target is set.
    explicit QNProgressWindowController(QWidget* parent = nullptr);
    ~QNProgressWindowController() override;

    /// Sets the receiver of Cancel and the name of its method (for example
    /// "onCancelDownload"). The target is not owned; a destroyed target is
    /// simply not called.
    void setTarget(QObject* target, const QByteArray& cancelSelector);
    QObject* target() const { return _target.data(); }
    QByteArray cancelSelector() const { return _cancelSelector; }

    QProgressBar* progressIndicator() const { return _progressIndicator; }
    QPushButton* cancelButton() const { return _cancelButton; }

    /// Shows the window as a window-modal sheet on docWindow.
    void beginSheet(QWidget* docWindow);
    /// Takes the window off its document window again and hides it.
    void endSheet();
    bool isSheet() const { return _docWindow != nullptr; }
    /// Closes the window for the owner (a close by the user means Cancel).
    void closeWindow();

public slots:
    /// Sends the cancel message to the target; does nothing without a target.
    void onCancel(QObject* sender = nullptr);

protected:
    /// Escape and the window's close button mean Cancel, not a silent close.
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void windowDidLoad();

    std::unique_ptr<Ui::QNProgressWindow> _ui;
    QProgressBar* _progressIndicator = nullptr;
    QPushButton* _cancelButton = nullptr;
    QPointer<QObject> _target;
    QByteArray _cancelSelector;
    QPointer<QWidget> _docWindow;
    bool _closingByOwner = false;
};
