// SPDX-License-Identifier: MIT
#pragma once
// Moves one file at a time between a URL and a local path on a worker thread
// of its own: downloads over HTTP, FTP and file URLs, uploads to FTP, and FTP
// directory listings. An optional progress window (a sheet on a document
// window, or free-standing) shows the progress and offers Cancel.
//
// Every transfer that a start call reports as started (kQNLowNetworkStarted)
// ends with exactly one kQNLowNetworkOperationCompleteNotification, posted on
// the worker thread through qn::NotificationCenter::defaultCenter() with the
// engine as sender and the result code under kQNLowNetworkResultKey. A start
// refused synchronously posts nothing and leaves nothing open.
//
// Create, start, cancel and destroy the engine on one thread (normally the
// main thread; the progress window needs it). Destroying the engine cancels a
// running transfer and waits for its worker; do not destroy it from inside its
// own completion notification.
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QVariantList>
#include <QVariantMap>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

class QWidget;
class QNProgressWindowController;
namespace qn {
class ConditionLock;
}

// Option keys (each constant's value is its own name).
extern const char* const kQNLowNetworkUserName;            // string, FTP, only with a password
extern const char* const kQNLowNetworkPassword;            // string, FTP, only with a user name
extern const char* const kQNLowNetworkPassiveModeOption;   // bool, FTP passive mode (default active)
extern const char* const kQNLowNetworkProgressWindowTitle; // string
extern const char* const kQNLowNetworkOverwriteOption;     // int 0 refuse, 1 write over, 2 new numbered name
extern const char* const kQNLowNetworkInBackgroundOption;  // bool, no window and no progress updates

// Completion notification and its one user-info key.
extern const char* const kQNLowNetworkOperationCompleteNotification;
extern const char* const kQNLowNetworkResultKey;

// Directory record keys of an FTP listing.
extern const char* const kQNLowNetworkDirectoryContentsKeyName;        // string
extern const char* const kQNLowNetworkDirectoryContentsKeyIsDirectory; // bool
extern const char* const kQNLowNetworkDirectoryContentsKeyFileSize;    // qulonglong, regular files

// Localization keys of the default window titles.
extern const char* const kQNNetworkDownloadProgressWindowTitle;
extern const char* const kQNNetworkUploadProgressWindowTitle;

// Result codes.
constexpr qint32 kQNLowNetworkSuccess = 0;         // finished (notification only)
constexpr qint32 kQNLowNetworkStarted = 1;         // started; the end comes as a notification
constexpr qint32 kQNLowNetworkCancelled = 2;       // stopped on request
constexpr qint32 kQNLowNetworkIOErr = 3;           // stream or file failure, HTTP status >= 300 but 404
constexpr qint32 kQNLowNetworkParamErr = 4;        // missing URL or path, unknown scheme or overwrite mode
constexpr qint32 kQNLowNetworkBusyErr = 6;         // a transfer is running
constexpr qint32 kQNLowNetworkNotFoundErr = 7;     // source missing or unreadable, HTTP 404
constexpr qint32 kQNLowNetworkFileExistsErr = 8;   // destination exists and may not be written over
constexpr qint32 kQNLowNetworkIsDirectoryErr = 9;  // source is a directory (FTP: no size reported)

class QNLowNetwork : public QObject {
    Q_OBJECT
public:
    /// Every read from a stream or a local file asks for at most this many bytes.
    static constexpr qint64 kBufferSize = 1024000;

    explicit QNLowNetwork(QObject* parent = nullptr);
    ~QNLowNetwork() override;

    /// Downloads an http, ftp or file URL to localFilePath. Returns
    /// kQNLowNetworkStarted, or a failure code with nothing left open.
    qint32 downloadURL(const QUrl& url, const QString& localFilePath, QWidget* docWindow,
                       const QVariantMap& option = {});
    /// Uploads localFilePath to an ftp URL. When the target name is taken
    /// (ignoring case), overwrite option 2 picks a new numbered name, 0 refuses
    /// with kQNLowNetworkFileExistsErr and 1 answers kQNLowNetworkIOErr
    /// because remote files are never deleted. The local file is only read.
    qint32 uploadToURL(const QUrl& url, const QString& localFilePath, QWidget* docWindow,
                       const QVariantMap& option = {});
    /// Lists an FTP directory synchronously on the calling thread, with the
    /// credentials and mode of option. Nothing when the URL cannot be listed,
    /// names a file, or the directory is empty.
    std::optional<QVariantList> directoryContentsOfFTPURL(const QUrl& url, const QVariantMap& option = {});

    /// Whether a record of the listing has this name, ignoring case.
    static bool isItemName(const QString& name, const std::optional<QVariantList>& contents);
    /// name, then name1, name2... (before the extension): the first the listing does not hold.
    static QString newFileNameForFile(const QString& name, const std::optional<QVariantList>& contents);
    /// path, numbered the same way: the first candidate at which nothing exists.
    static QString newPathForFile(const QString& path);
    /// Directory records from the raw text of an FTP LIST reply, in line order.
    static QVariantList parseDirectoryListing(const QByteArray& listing);

    /// True from a successful start until the transfer's fields are cleared.
    bool isBusy() const;
    /// Bytes moved by the running transfer so far.
    quint64 processedSize() const { return _processedSize.load(); }
    /// The progress window of the running transfer (main thread only).
    QNProgressWindowController* progressWindowController() const;

public slots:
    /// Requests a stop; waits at most for the worker's current cycle. The
    /// Cancel button's target.
    void onCancelDownload(QObject* sender = nullptr);

private:
    struct ProgressLink;
    enum class Direction { Download, Upload };

    qint32 downloadHTTPURL(const QUrl& url, const QString& localFilePath);
    qint32 downloadFTPURL(const QUrl& url, const QString& localFilePath);
    qint32 downloadFileURL(const QUrl& url, const QString& localFilePath);
    qint32 uploadToFTPURL(const QUrl& url, const QString& localFilePath);
    qint32 createLocalFile(const QString& path);
    qint32 openLocalFile(const QString& path);
    qint32 beginTransfer(const QUrl& url, const QString& localFilePath, const QVariantMap& option,
                         Direction direction);
    qint32 startWorker(Direction direction);

    void readStreamThreadProc();
    void writeStreamThreadProc();
    qint32 runCurlDownload(char* buffer);
    qint32 runFileDownload(char* buffer);
    qint32 runCurlUpload();
    bool waitForStart();
    qint32 handleBytes(const char* bytes, qint64 size);
    qint32 flushBuffer();
    qint32 performProtocolCheckSelector();
    qint32 httpCheckResponse();
    qint32 ftpCheckStream();
    void setStreamPropertiesToHTTPReadStream(void* stream);
    void setStreamPropertiesToFTPStream(void* stream, const QVariantMap& option) const;
    void updateProgress(qint64 size);
    bool ftpURLIsDirectory(const QUrl& url) const;
    std::optional<QVariantList> listFTPDirectory(void* stream, const QUrl& url, void* multi = nullptr);
    bool stopRequested() const;

    void setupProgressWindowForDocWindow(QWidget* docWindow, Direction direction);
    void closeProgressWindow();
    void refreshProgressWindow();
    void stopOperationWithError(qint32 code);
    void clearData();

    // Curl's C callbacks.
    static size_t curlWrite(char* data, size_t size, size_t count, void* self);
    static size_t curlRead(char* data, size_t size, size_t count, void* self);
    static int curlProgress(void* self, long long, long long, long long, long long);

    // Owned by the worker while a transfer runs; set up by the starting thread
    // before the worker exists and cleared by the worker before it gives up
    // the busy state.
    QVariantMap _option;
    void* _readStream = nullptr;   // download handle (http, ftp)
    void* _writeStream = nullptr;  // upload handle (ftp)
    void* _transferMulti = nullptr;  // upload: keeps the connection from the name check to the upload
    int _localFileHandle = -1;     // destination of a download, source of an upload
    int _sourceFileHandle = -1;    // source of a file-URL download
    QString _filePath;
    QString _replacePath;          // overwrite 1: the file that _filePath (a temporary) replaces on success
    QUrl _sourceURL;
    quint64 _fileSize = 0;
    std::atomic<quint64> _processedSize{0};
    Direction _direction = Direction::Download;
    bool _ftpFirstCheck = false;
    bool _anyChunkChecked = false;
    std::shared_ptr<ProgressLink> _progress;  // null in background mode
    qint32 (QNLowNetwork::*_protocolCheckSelector)() = nullptr;
    qint32 _endCode = -1;
    char* _chunk = nullptr;          // pending bytes of a curl download (kBufferSize)
    qint64 _chunkFill = 0;

    // Shared between threads.
    mutable std::mutex _stateMutex;
    std::condition_variable _workerEnded;
    bool _busy = false;
    int _workers = 0;
    std::shared_ptr<qn::ConditionLock> _runCondLock;

    // Main thread only.
    QPointer<QNProgressWindowController> _progressWindowController;
    QPointer<QWidget> _sheetParent;
    std::shared_ptr<ProgressLink> _shownProgress;
    QTimer _progressTimer;
};
