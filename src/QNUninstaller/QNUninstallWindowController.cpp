// SPDX-License-Identifier: MIT
#include "QNUninstallWindowController.h"

#include "ui_UninstallWindow.h"

#include "QNCrypto.h"
#include "QNEnhancer.h"
#include "layout/Bundle.h"
#include "strings/LocalizedString.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <sys/prctl.h>

QString QNUninstallWindowController::uninstallListKey()
{
    return QStringLiteral("C7E2A19D-5F3B-4E80-A64C-2D91F0B7E358");
}

QNUninstallWindowController::QNUninstallWindowController(QWidget* parent)
    : QDialog(parent), _ui(std::make_unique<Ui::UninstallWindow>()), _authorize(std::make_unique<QNAuthorize>())
{
    _ui->setupUi(this);
    _messageField = _ui->_messageField;
    _uninstallingMessage = _ui->_uninstallingMessage;
    _progressIndicator = _ui->_progressIndicator;
    _okButton = _ui->_okButton;
    _cancelButton = _ui->_cancelButton;
    _leftItemsView = _ui->_leftItemsView;
    _leftItemsView->hide();
    _progressIndicator->hide();
    _uninstallingMessage->hide();
    connect(_okButton, &QPushButton::clicked, this, &QNUninstallWindowController::onOK);
    connect(_cancelButton, &QPushButton::clicked, this, &QNUninstallWindowController::onCancel);
    setWindowModality(Qt::ApplicationModal);
}

QNUninstallWindowController::~QNUninstallWindowController()
{
    _authorize->release();
    holdRights(false);
}

namespace {

// The user-facing reason for a failed authorization or remover start.
QString reasonForStatus(qint32 status, const QString& remover)
{
    using enum AuthorizationStatus;
    switch (AuthorizationStatus(status)) {
    case errAuthorizationCanceled: return qn::localizedString("UninstallReasonCanceled");
    case errAuthorizationDenied: return qn::localizedString("UninstallReasonDenied");
    case errAuthorizationInternal: return qn::localizedString("UninstallReasonNoElevator");
    case errAuthorizationToolExecuteFailure: return qn::localizedString("UninstallReasonNoRemover").arg(remover);
    }
    // Any other code (the error may come from another domain): name it.
    return qn::localizedString("UninstallReasonOther").arg(status);
}

}  // namespace

void QNUninstallWindowController::holdRights(bool hold)
{
    // The helper's pipes are ours: a dumpable process would let any process
    // of the same user write requests into them through /proc/<pid>/fd.
    static int dumpableBefore = -1;
    if (hold && dumpableBefore < 0) {
        dumpableBefore = ::prctl(PR_GET_DUMPABLE);
        ::prctl(PR_SET_DUMPABLE, 0);
    } else if (!hold && dumpableBefore >= 0) {
        ::prctl(PR_SET_DUMPABLE, dumpableBefore);
        dumpableBefore = -1;
    }
}

int QNUninstallWindowController::exitStatus() const
{
    if (!_isFinished || !_listProblem.isEmpty())
        return 1;
    if (_removedCount == quint32(_uninstallItems.size()))
        return 0;
    return _removedCount == 0 ? 1 : 2;
}

void QNUninstallWindowController::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    windowDidLoad();
}

void QNUninstallWindowController::windowDidLoad()
{
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

int QNUninstallWindowController::runModal()
{
    return exec();
}

void QNUninstallWindowController::reject()
{
    // Closing the window counts as Cancel, and only while Cancel is possible:
    // a removal under way is never left half done by Escape.
    if (_cancelButton->isEnabled())
        onCancel();
}

void QNUninstallWindowController::onCancel()
{
    done(0);
}

void QNUninstallWindowController::onOK()
{
    if (_isFinished) {
        done(1);
        return;
    }
    if (!_okButton->isEnabled())
        return;
    _progressIndicator->show();
    _uninstallingMessage->show();
    _okButton->setEnabled(false);
    _cancelButton->setEnabled(false);
    doUninstallProcess();
}

void QNUninstallWindowController::doUninstallProcess()
{
    _uninstallItems = readUninstallListFile();
    _index = 0;
    _removedCount = 0;
    _refusedItems.clear();
    _leftItems.clear();
    _stopReason.clear();
    if (!_uninstallItems.isEmpty())
        holdRights(true);
    doUninstallItem();
}

void QNUninstallWindowController::doUninstallItem()
{
    const quint32 count = quint32(_uninstallItems.size());
    if (_index < count) {
        const QString& item = _uninstallItems.at(qsizetype(_index));
        std::optional<QNError> error;
        if (!isSafeToRemove(item)) {
            _refusedItems.append(item);
            _leftItems.append(item);
            ++_index;
        } else if (_authorize->openPrivilegedTool(_removerPath, {QStringLiteral("-Rf"), item}, &error)) {
            if (_authorize->lastExitStatus() == 0)
                ++_removedCount;
            else
                _leftItems.append(item);
            ++_index;
        } else {
            // No authorization or no remover: stop here, everything from
            // this item on stays.
            _stopReason = reasonForStatus(error ? error->code : 0, _removerPath);
            _leftItems.append(_uninstallItems.mid(qsizetype(_index)));
            _index = count;
        }
    }
    if (_index >= count) {
        finish();
        return;
    }
    QTimer::singleShot(50, this, &QNUninstallWindowController::doUninstallItem);
}

void QNUninstallWindowController::finish()
{
    // The rights end with the loop: the helper goes, and with it the pipes.
    _authorize->release();
    holdRights(false);
    _isFinished = true;
    _okButton->setEnabled(true);
    _progressIndicator->hide();
    _uninstallingMessage->hide();

    const quint32 count = quint32(_uninstallItems.size());
    QString text;
    if (!_listProblem.isEmpty()) {
        text = qn::localizedString("UninstallNothingRemoved") + QLatin1Char(' ') + _listProblem;
    } else if (_removedCount == count) {
        text = qn::localizedString("FinishedUninstalling");
    } else {
        text = _removedCount == 0 ? qn::localizedString("UninstallNothingRemoved")
                                  : qn::localizedString("UninstallSomeRemoved").arg(_removedCount).arg(count);
        if (!_stopReason.isEmpty())
            text += QLatin1Char(' ') + _stopReason;
        text += QLatin1Char(' ') + qn::localizedString("UninstallItemsLeft");
    }
    if (!_refusedItems.isEmpty()) {
        QStringList shown;
        for (const QString& item : _refusedItems)
            shown.append(QStringLiteral("\u201C%1\u201D").arg(item));
        // The list is appended rather than put into the text, so a table
        // without this entry still shows every refused path.
        text += QStringLiteral("\n\n") + qn::localizedString("UninstallRefusedItems") + QLatin1Char('\n')
            + shown.join(QLatin1Char('\n'));
    }
    _messageField->setText(text);
    _leftItemsView->setPlainText(_leftItems.join(QLatin1Char('\n')));
    _leftItemsView->setVisible(!_leftItems.isEmpty());
}

QStringList QNUninstallWindowController::readUninstallListFile()
{
    _listProblem.clear();
    const QString path = _listPath.isEmpty()
        ? qn::Bundle::pathForResource(QStringLiteral("UnInstallFiles.txt"), QStringLiteral("qne"))
        : _listPath;
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        const QString shown = path.isEmpty()
            ? qn::Bundle::resourceDirectory() + QStringLiteral("/UnInstallFiles.txt.qne")
            : path;
        _listProblem = qn::localizedString("UninstallListMissing").arg(shown);
        return {};
    }
    const auto data = QNCrypto::dataByDecryptingFileAtPath(path, uninstallListKey());
    if (!data) {
        _listProblem = qn::localizedString("UninstallListUnreadable").arg(path);
        return {};
    }
    return parseUninstallList(QString::fromUtf8(*data));
}

QStringList QNUninstallWindowController::parseUninstallList(const QString& text)
{
    const QSet<char32_t> newlines = QNEnhancer::newlineCharacterSet();
    auto isNewline = [&](QChar c) { return newlines.contains(c.unicode()); };
    QStringList items;
    qsizetype pos = 0;
    const qsizetype n = text.size();
    while (pos < n) {
        // Skip whitespace and newlines before each item, then take the run up
        // to the next newline character.
        while (pos < n && (text.at(pos).isSpace() || isNewline(text.at(pos))))
            ++pos;
        const qsizetype start = pos;
        while (pos < n && !isNewline(text.at(pos)))
            ++pos;
        if (pos > start)
            items.append(text.mid(start, pos - start));
    }
    return items;
}

bool QNUninstallWindowController::isSafeToRemove(const QString& path)
{
    if (!path.startsWith(QLatin1Char('/')))
        return false;
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    }
    if (parts.size() < 2)
        return false;  // "/" and every top-level folder
    const QString clean = QLatin1Char('/') + parts.join(QLatin1Char('/'));

    static const QStringList systemFolders = {
        "/usr/bin", "/usr/sbin", "/usr/lib", "/usr/lib32", "/usr/lib64", "/usr/libexec", "/usr/libx32",
        "/usr/share", "/usr/include", "/usr/local", "/usr/src", "/usr/games",
        "/usr/local/bin", "/usr/local/sbin", "/usr/local/lib", "/usr/local/libexec", "/usr/local/share",
        "/usr/local/include", "/usr/local/etc", "/usr/local/src", "/usr/share/applications",
        "/usr/local/share/applications", "/usr/share/polkit-1", "/usr/share/polkit-1/actions",
        "/var/lib", "/var/log", "/var/cache", "/var/tmp", "/var/spool", "/var/mail", "/var/opt",
        "/etc/polkit-1", "/etc/systemd",
    };
    if (systemFolders.contains(clean))
        return false;
    if (clean == QDir::cleanPath(QDir::homePath()))
        return false;
    // The installation's own layout folders are shared with other software
    // when the prefix is a system prefix; only what lies inside them goes.
    const QString prefix = QDir::cleanPath(qn::Bundle::installPrefix());
    if (!prefix.isEmpty()) {
        for (const char* sub : {"", "/bin", "/lib", "/lib/qml", "/libexec", "/share", "/share/applications",
                                "/share/polkit-1", "/share/polkit-1/actions"}) {
            if (clean == QDir::cleanPath(prefix + QLatin1String(sub)))
                return false;
        }
    }
    return true;
}
