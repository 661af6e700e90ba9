#include "QNUninstallWindowController.h"

#include "ui_UninstallWindow.h"

#include "QNCrypto.h"
#include "QNEnhancer.h"
#include "layout/Bundle.h"
#include "strings/LocalizedString.h"

#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

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
    _progressIndicator->hide();
    _uninstallingMessage->hide();
    connect(_okButton, &QPushButton::clicked, this, &QNUninstallWindowController::onOK);
    connect(_cancelButton, &QPushButton::clicked, this, &QNUninstallWindowController::onCancel);
    setWindowModality(Qt::ApplicationModal);
}

QNUninstallWindowController::~QNUninstallWindowController() = default;

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
    _refusedItems.clear();
    doUninstallItem();
}

void QNUninstallWindowController::doUninstallItem()
{
    const quint32 count = quint32(_uninstallItems.size());
    if (_index < count) {
        const QString& item = _uninstallItems.at(qsizetype(_index));
        if (!isSafeToRemove(item)) {
            _refusedItems.append(item);
            ++_index;
        } else if (_authorize->openPrivilegedTool(_removerPath, {QStringLiteral("-Rf"), item})) {
            ++_index;
        } else {
            _index = count;  // no authorization or no remover: stop here
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
    _isFinished = true;
    _okButton->setEnabled(true);
    _progressIndicator->hide();
    _uninstallingMessage->hide();
    QString text = qn::localizedString("FinishedUninstalling");
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
}

QStringList QNUninstallWindowController::readUninstallListFile() const
{
    const QString path = _listPath.isEmpty()
        ? qn::Bundle::pathForResource(QStringLiteral("UnInstallFiles.txt"), QStringLiteral("qne"))
        : _listPath;
    if (path.isEmpty())
        return {};
    const auto data = QNCrypto::dataByDecryptingFileAtPath(path, uninstallListKey());
    return data ? parseUninstallList(QString::fromUtf8(*data)) : QStringList();
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
