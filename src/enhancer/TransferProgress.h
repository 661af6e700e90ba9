// SPDX-License-Identifier: MIT
#pragma once
// Binds a running transfer to its progress window. The worker thread only
// stores numbers in a Link; a timer on the main thread copies them into the
// window and takes it down once the transfer has finished, so no interface
// call ever happens on the worker. Private to libQNEnhancer.
#include <QPointer>
#include <QTimer>
#include <QVariantMap>
#include <atomic>
#include <memory>

class QObject;
class QWidget;
class QNProgressWindowController;

namespace qn::transfer {

class TransferProgress {
public:
    /// What the worker reports; shared by the worker and the window.
    struct Link {
        std::atomic<quint64> processed{0};
        std::atomic<quint64> maximum{0};
        std::atomic<bool> determinate{false};
        std::atomic<bool> finished{false};
        /// Bytes moved so far out of total (the first report fixes total).
        void report(quint64 processedBytes, quint64 total);
    };

    /// Cancel in the window calls cancelTarget's "onCancelDownload".
    explicit TransferProgress(QObject* cancelTarget);
    ~TransferProgress();
    TransferProgress(const TransferProgress&) = delete;
    TransferProgress& operator=(const TransferProgress&) = delete;

    /// Shows the window (a sheet on docWindow when given) titled by option's
    /// kQNLowNetworkProgressWindowTitle or the default title of the
    /// direction. Null (and no window) without a widget application.
    std::shared_ptr<Link> open(QWidget* docWindow, const QVariantMap& option, bool upload);
    /// Takes the window down now.
    void close();
    QNProgressWindowController* controller() const;

private:
    void refresh();

    QObject* _cancelTarget;
    QTimer _timer;
    QPointer<QNProgressWindowController> _controller;
    QPointer<QWidget> _sheetParent;
    std::shared_ptr<Link> _shown;
};

}  // namespace qn::transfer
