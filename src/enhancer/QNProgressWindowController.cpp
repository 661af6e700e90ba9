// SPDX-License-Identifier: MIT
#include "QNProgressWindowController.h"

#include "strings/LocalizedString.h"
#include "ui_QNProgressWindow.h"

#include <QCloseEvent>
#include <QMetaObject>

QNProgressWindowController::QNProgressWindowController(QWidget* parent)
    : QDialog(parent), _ui(std::make_unique<Ui::QNProgressWindow>())
{
    _ui->setupUi(this);
    _progressIndicator = _ui->progressIndicator;
    _cancelButton = _ui->cancelButton;
    _cancelButton->setText(qn::tableString(QStringLiteral("QNEnhancer"), "ProgressCancel"));
    connect(_cancelButton, &QPushButton::clicked, this, [this] { onCancel(_cancelButton); });
    windowDidLoad();
    show();
}

QNProgressWindowController::~QNProgressWindowController() = default;

void QNProgressWindowController::windowDidLoad()
{
    // A range of 0..0 is Qt's busy (indeterminate, animated) bar.
    _progressIndicator->setRange(0, 0);
    _progressIndicator->setValue(0);
}

void QNProgressWindowController::setTarget(QObject* target, const QByteArray& cancelSelector)
{
    _target = target;
    _cancelSelector = cancelSelector;
}

void QNProgressWindowController::onCancel(QObject*)
{
    if (!_target || _cancelSelector.isEmpty())
        return;
    QMetaObject::invokeMethod(_target.data(), _cancelSelector.constData(), Qt::DirectConnection,
                              Q_ARG(QObject*, this));
}

void QNProgressWindowController::beginSheet(QWidget* docWindow)
{
    if (!docWindow)
        return;
    _docWindow = docWindow;
    const bool wasVisible = isVisible();
    setParent(docWindow, Qt::Sheet);
    setWindowModality(Qt::WindowModal);
    if (wasVisible || !isVisible())
        show();
}

void QNProgressWindowController::endSheet()
{
    _closingByOwner = true;
    hide();
    if (_docWindow) {
        setWindowModality(Qt::NonModal);
        setParent(nullptr, Qt::Dialog);
        _docWindow.clear();
    }
    _closingByOwner = false;
}

void QNProgressWindowController::closeWindow()
{
    _closingByOwner = true;
    close();
    _closingByOwner = false;
}

void QNProgressWindowController::reject()
{
    onCancel(this);
}

void QNProgressWindowController::closeEvent(QCloseEvent* event)
{
    if (_closingByOwner) {
        event->accept();
        hide();
        return;
    }
    // The owner decides when the window goes away; a close request is a cancel.
    event->ignore();
    onCancel(this);
}
