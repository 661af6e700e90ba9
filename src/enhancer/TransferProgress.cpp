// SPDX-License-Identifier: MIT
#include "TransferProgress.h"

#include "QNLowNetwork.h"
#include "QNProgressWindowController.h"
#include "strings/LocalizedString.h"

#include <QApplication>
#include <QProgressBar>

#include <algorithm>
#include <climits>
#include <mutex>

namespace qn::transfer {

namespace {

void ensureTranslations()
{
    static std::once_flag once;
    std::call_once(once, [] { qn::installTranslations(QStringLiteral("QNLowNetwork")); });
}

}  // namespace

void TransferProgress::Link::report(quint64 processedBytes, quint64 total)
{
    if (!determinate.load()) {
        maximum = total;
        determinate = true;
    }
    processed = processedBytes;
}

TransferProgress::TransferProgress(QObject* cancelTarget) : _cancelTarget(cancelTarget)
{
    _timer.setInterval(50);
    QObject::connect(&_timer, &QTimer::timeout, &_timer, [this] { refresh(); });
}

TransferProgress::~TransferProgress()
{
    close();
}

std::shared_ptr<TransferProgress::Link> TransferProgress::open(QWidget* docWindow, const QVariantMap& option,
                                                               bool upload)
{
    close();  // a window of an earlier transfer not yet taken down
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return nullptr;  // no widgets without a widget application
    ensureTranslations();
    auto* controller = new QNProgressWindowController();
    controller->setTarget(_cancelTarget, "onCancelDownload");
    QString title = option.value(kQNLowNetworkProgressWindowTitle).toString();
    if (!option.contains(kQNLowNetworkProgressWindowTitle))
        title = qn::localizedString(upload ? kQNNetworkUploadProgressWindowTitle : kQNNetworkDownloadProgressWindowTitle);
    controller->setWindowTitle(title);
    if (docWindow)
        controller->beginSheet(docWindow);
    _controller = controller;
    _sheetParent = docWindow;
    _shown = std::make_shared<Link>();
    _timer.start();
    return _shown;
}

QNProgressWindowController* TransferProgress::controller() const
{
    return _controller.data();
}

void TransferProgress::refresh()
{
    if (!_shown) {
        _timer.stop();
        return;
    }
    if (_controller && _shown->determinate.load()) {
        // QProgressBar counts in int: scale large transfers down.
        const quint64 maximum = _shown->maximum.load();
        const quint64 processed = std::min(_shown->processed.load(), maximum);
        const quint64 scale = maximum / INT_MAX + 1;
        QProgressBar* bar = _controller->progressIndicator();
        bar->setRange(0, static_cast<int>(maximum / scale));
        bar->setValue(static_cast<int>(processed / scale));
    }
    if (_shown->finished.load())
        close();
}

void TransferProgress::close()
{
    _timer.stop();
    _shown.reset();
    if (QNProgressWindowController* controller = _controller.data()) {
        if (controller->isSheet())
            controller->endSheet();
        controller->closeWindow();
        delete controller;
    }
    _controller.clear();
    _sheetParent.clear();
}

}  // namespace qn::transfer
