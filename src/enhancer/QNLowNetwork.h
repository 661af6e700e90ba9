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
#include <QString>
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
namespace curl {
enum class Protocol : quint8;
}
namespace transfer {
class TransferProgress;
}
}  // namespace qn

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

// Result codes (signed 32-bit; the values are fixed: callers print and compare them).
// The completion notification carries them as qint32 under kQNLowNetworkResultKey.
enum class QNLowNetworkResult : qint32 {
    kQNLowNetworkSuccess = 0,         // finished (notification only)
    kQNLowNetworkStarted = 1,         // started; the end comes as a notification
    kQNLowNetworkCancelled = 2,       // stopped on request
    kQNLowNetworkIOErr = 3,           // stream or file failure, HTTP status >= 300 but 404
    kQNLowNetworkParamErr = 4,        // missing URL or path, unknown scheme or overwrite mode
    kQNLowNetworkBusyErr = 6,         // a transfer is running
    kQNLowNetworkNotFoundErr = 7,     // source missing or unreadable, HTTP 404
    kQNLowNetworkFileExistsErr = 8,   // destination exists and may not be written over
    kQNLowNetworkIsDirectoryErr = 9,  // source is a directory (FTP: no size reported)
};

class QNLowNetwork : public QObject {
    Q_OBJECT
public:
    /// Every read from a stream or a local file asks for at most this many bytes.
    static constexpr qint64 kBufferSize = 1024000;

    explicit QNLowNetwork(QObject* parent = nullptr);
    ~QNLowNetwork() override;

    /// Downloads an http, ftp or file URL to localFilePath. Returns
    /// kQNLowNetworkStarted, or a failure code with nothing left open.
    QNLowNetworkResult downloadURL(const QUrl& url, const QString& localFilePath, QWidget* docWindow,
                                   const QVariantMap& option = {});
    /// Uploads localFilePath to an ftp URL. When the target name is taken
    /// (ignoring case), overwrite option 2 picks a new numbered name, 0 refuses
    /// with kQNLowNetworkFileExistsErr and 1 answers kQNLowNetworkIOErr
    /// because remote files are never deleted. The local file is only read.
    QNLowNetworkResult uploadToURL(const QUrl& url, const QString& localFilePath, QWidget* docWindow,
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
    struct Transfer;  // the running transfer's curl handles, local file and progress link
    enum class Direction { Download, Upload };
    using Result = QNLowNetworkResult;

    Result downloadHTTPURL(const QUrl& url, const QString& localFilePath);
    Result downloadFTPURL(const QUrl& url, const QString& localFilePath);
    Result downloadFileURL(const QUrl& url, const QString& localFilePath);
    Result uploadToFTPURL(const QUrl& url, const QString& localFilePath);
    std::optional<Result> beginTransfer(const QUrl& url, const QString& localFilePath, const QVariantMap& option,
                                        Direction direction);
    Result startWorker(Direction direction);

    void readStreamThreadProc();
    void writeStreamThreadProc();
    Result runCurlDownload(char* buffer);
    Result runFileDownload(char* buffer);
    Result runCurlUpload();
    bool waitForStart();
    Result handleBytes(const char* bytes, qint64 size);
    Result flushBuffer();
    Result checkProtocol();
    Result httpCheckResponse();
    Result ftpCheckStream();
    void updateProgress(qint64 size);
    bool stopRequested() const;

    void setupProgressWindowForDocWindow(QWidget* docWindow, Direction direction);
    void closeProgressWindow();
    void stopOperationWithError(Result code);
    void clearData();

    // Curl's C callbacks.
    static size_t curlWrite(char* data, size_t size, size_t count, void* self);
    static size_t curlRead(char* data, size_t size, size_t count, void* self);
    static int curlProgress(void* self, long long, long long, long long, long long);

    // Owned by the worker while a transfer runs; set up by the starting thread
    // before the worker exists and cleared by the worker before it gives up
    // the busy state.
    QVariantMap _option;
    std::unique_ptr<Transfer> _transfer;
    int _sourceFileHandle = -1;    // source of a file-URL download
    QUrl _sourceURL;
    quint64 _fileSize = 0;
    std::atomic<quint64> _processedSize{0};
    Direction _direction = Direction::Download;
    qn::curl::Protocol _protocol{};  // what the chunks are checked for (File: nothing)
    bool _ftpFirstCheck = false;
    bool _anyChunkChecked = false;
    std::optional<Result> _endCode;
    char* _chunk = nullptr;          // pending bytes of a curl download (kBufferSize)
    qint64 _chunkFill = 0;

    // Shared between threads.
    mutable std::mutex _stateMutex;
    std::condition_variable _workerEnded;
    bool _busy = false;
    int _workers = 0;
    std::shared_ptr<qn::ConditionLock> _runCondLock;

    // Main thread only.
    std::unique_ptr<qn::transfer::TransferProgress> _progressWindow;
};
