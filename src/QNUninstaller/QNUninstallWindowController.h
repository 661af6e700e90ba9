// SPDX-License-Identifier: MIT
#pragma once
// The uninstaller's one window: confirm, remove every listed path with
// administrator rights (one "/bin/rm -Rf <path>" per item, 0.05 s apart so the
// window stays alive), then report what happened: everything removed;
// "Nothing was removed." with the reason (prompt dismissed, rights denied, no
// elevation program, list missing or unreadable); or how many of how many
// items were removed, with the paths left in a scrollable list. An item counts
// as removed only when the remover exited with status 0.
//
// While it holds administrator rights the process is not dumpable, so no
// other process of the user can reach the privileged helper's pipes through
// /proc; the rights are given up as soon as the removal loop ends.
//
// Paths that are not absolute, contain "." or ".." components, or name "/",
// a top-level folder, a system folder, the home folder or a folder of the
// installation layout itself are never handed to the remover: they are
// skipped and listed in the finished text, so a damaged list cannot wipe the
// system.
#include "QNAuthorize.h"

#include <QDialog>
#include <QStringList>
#include <memory>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
namespace Ui {
class UninstallWindow;
}

class QNUninstallWindowController : public QDialog {
    Q_OBJECT
public:
    /// The key the uninstall list is encrypted with.
    static QString uninstallListKey();

    explicit QNUninstallWindowController(QWidget* parent = nullptr);
    ~QNUninstallWindowController() override;

    /// Shows the window modally; 1 after a finished removal, 0 on cancel.
    int runModal();

    void onOK();
    void onCancel();
    void doUninstallProcess();
    void doUninstallItem();
    /// The decrypted list; empty when it is missing or cannot be decrypted
    /// (listProblem() then says which).
    QStringList readUninstallListFile();
    /// Why the last readUninstallListFile() found no list; empty when it did.
    const QString& listProblem() const { return _listProblem; }

    /// Splits list text into paths: blank lines and leading blanks are
    /// dropped, blanks at the end of a line stay.
    static QStringList parseUninstallList(const QString& text);
    /// Whether a listed path may be handed to the remover (see above).
    static bool isSafeToRemove(const QString& path);

    /// Where the list is read from (default: the installation's resource).
    void setListPath(const QString& path) { _listPath = path; }
    /// The remover (default "/bin/rm").
    void setRemoverPath(const QString& path) { _removerPath = path; }
    QNAuthorize* authorize() const { return _authorize.get(); }

    bool isFinished() const { return _isFinished; }
    const QStringList& refusedItems() const { return _refusedItems; }
    quint32 index() const { return _index; }
    /// Items the remover removed (exit status 0), and the paths still there.
    quint32 removedCount() const { return _removedCount; }
    const QStringList& leftItems() const { return _leftItems; }
    /// The program's exit status: 0 when every listed item was removed, 1
    /// when nothing was (cancel included), 2 when only some were.
    int exitStatus() const;

    QLabel* _messageField = nullptr;
    QLabel* _uninstallingMessage = nullptr;
    QProgressBar* _progressIndicator = nullptr;
    QPushButton* _okButton = nullptr;
    QPushButton* _cancelButton = nullptr;
    QPlainTextEdit* _leftItemsView = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void windowDidLoad();
    void finish();
    void holdRights(bool hold);

    std::unique_ptr<Ui::UninstallWindow> _ui;
    QStringList _uninstallItems;
    quint32 _index = 0;
    bool _isFinished = false;
    std::unique_ptr<QNAuthorize> _authorize;
    QStringList _refusedItems;
    QStringList _leftItems;
    quint32 _removedCount = 0;
    QString _stopReason;
    QString _listProblem;
    QString _listPath;
    QString _removerPath = QStringLiteral("/bin/rm");
};
