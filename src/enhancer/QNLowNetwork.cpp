// SPDX-License-Identifier: MIT
#include "QNLowNetwork.h"

#include "QNFTPListParser.h"
#include "QNProgressWindowController.h"
#include "QNURLExtend.h"
#include "notify/NotificationCenter.h"
#include "strings/LocalizedString.h"
#include "threading/ConditionLock.h"

#include <QApplication>
#include <QFileInfo>
#include <QProgressBar>

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

const char* const kQNLowNetworkUserName = "kQNLowNetworkUserName";
const char* const kQNLowNetworkPassword = "kQNLowNetworkPassword";
const char* const kQNLowNetworkPassiveModeOption = "kQNLowNetworkPassiveModeOption";
const char* const kQNLowNetworkProgressWindowTitle = "kQNLowNetworkProgressWindowTitle";
const char* const kQNLowNetworkOverwriteOption = "kQNLowNetworkOverwriteOption";
const char* const kQNLowNetworkInBackgroundOption = "kQNLowNetworkInBackgroundOption";
const char* const kQNLowNetworkOperationCompleteNotification = "kQNLowNetworkOperationCompleteNotification";
const char* const kQNLowNetworkResultKey = "kQNLowNetworkResultKey";
const char* const kQNLowNetworkDirectoryContentsKeyName = "kQNLowNetworkDirectoryContentsKeyName";
const char* const kQNLowNetworkDirectoryContentsKeyIsDirectory = "kQNLowNetworkDirectoryContentsKeyIsDirectory";
const char* const kQNLowNetworkDirectoryContentsKeyFileSize = "kQNLowNetworkDirectoryContentsKeyFileSize";
const char* const kQNNetworkDownloadProgressWindowTitle = "NetworkDownloadProgressWindowTitle";
const char* const kQNNetworkUploadProgressWindowTitle = "NetworkUploadProgressWindowTitle";

// What the worker tells the progress window. The window is driven from the
// main thread by a timer that reads these values, so no interface call ever
// happens on the worker.
struct QNLowNetwork::ProgressLink {
    std::atomic<quint64> processed{0};
    std::atomic<quint64> maximum{0};
    std::atomic<bool> determinate{false};
    std::atomic<bool> finished{false};
};

namespace {

// A hostile or broken server must not make a listing eat all memory.
constexpr qsizetype kMaxListingSize = 64 * 1024 * 1024;

CURL* handle(void* stream)
{
    return static_cast<CURL*>(stream);
}

void closeStream(void*& stream)
{
    if (stream) {
        curl_easy_cleanup(handle(stream));
        stream = nullptr;
    }
}

void closeFile(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

bool writeAll(int fd, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

bool pathExists(const QString& path, struct stat* st = nullptr)
{
    struct stat local;
    return ::lstat(QFile::encodeName(path).constData(), st ? st : &local) == 0;
}

int createExclusive(const QString& path)
{
    return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

// Creates a new hidden file in path's folder, named after it; its path, and
// the open descriptor in *fd (-1 when nothing could be created).
QString temporaryPathBeside(const QString& path, int* fd)
{
    const QFileInfo info(path);
    const QString stem = info.path() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".part-");
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = stem + QString::number(::getpid()) + QLatin1Char('-') + QString::number(attempt);
        *fd = createExclusive(candidate);
        if (*fd >= 0)
            return candidate;
        if (errno != EEXIST)
            break;
    }
    *fd = -1;
    return {};
}

CURL* newHandle(const QUrl& url, const char* protocols)
{
    CURL* h = curl_easy_init();
    if (!h)
        return nullptr;
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_URL, url.toEncoded().constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, protocols);
    return h;
}

// Splits a file name into base name and extension (without the dot). A
// leading dot belongs to the name.
void splitName(const QString& name, QString* base, QString* extension)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0) {
        *base = name.left(dot);
        *extension = name.mid(dot + 1);
    } else {
        *base = name;
        extension->clear();
    }
}

QString numberedName(const QString& base, const QString& extension, quint64 n)
{
    QString candidate = base + QString::number(n);
    if (!extension.isEmpty())
        candidate += QLatin1Char('.') + extension;
    return candidate;
}

size_t appendToListing(char* data, size_t size, size_t count, void* target)
{
    auto* listing = static_cast<QByteArray*>(target);
    const size_t len = size * count;
    if (listing->size() + static_cast<qsizetype>(len) > kMaxListingSize)
        return 0;
    listing->append(data, static_cast<qsizetype>(len));
    return len;
}

// curl_easy_perform() on a multi handle that keeps the connection cache of a
// transfer made of several requests (the upload's name check, then the
// upload). When libcurl (7.88) sets up the FTP data connection of a second
// request on a reused control connection, it sometimes starts the connect
// only on its next turn without arming a timer, and curl_easy_perform() then
// sleeps a whole second first; waits of at most 10 ms keep that from stalling.
CURLcode performWithShortWaits(CURL* h, CURLM* multi)
{
    if (!multi || curl_multi_add_handle(multi, h) != CURLM_OK)
        return curl_easy_perform(h);
    CURLcode result = CURLE_OK;
    int running = 1;
    while (running) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (!running)
            break;
        long timeout = -1;
        curl_multi_timeout(multi, &timeout);
        if (timeout < 0 || timeout > 10)
            timeout = 10;
        if (curl_multi_poll(multi, nullptr, 0, int(timeout), nullptr) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == h)
            result = message->data.result;
    }
    curl_multi_remove_handle(multi, h);
    return result;
}

void closeMulti(void*& multi)
{
    if (multi) {
        curl_multi_cleanup(static_cast<CURLM*>(multi));
        multi = nullptr;
    }
}

size_t discardBytes(char*, size_t size, size_t count, void*)
{
    return size * count;
}

void ensureCurlReady()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void ensureTranslations()
{
    static std::once_flag once;
    std::call_once(once, [] { qn::installTranslations(QStringLiteral("QNLowNetwork")); });
}

}  // namespace

QNLowNetwork::QNLowNetwork(QObject* parent) : QObject(parent)
{
    ensureCurlReady();
    _progressTimer.setInterval(50);
    connect(&_progressTimer, &QTimer::timeout, this, &QNLowNetwork::refreshProgressWindow);
}

QNLowNetwork::~QNLowNetwork()
{
    onCancelDownload(nullptr);
    {
        std::unique_lock g(_stateMutex);
        _workerEnded.wait(g, [this] { return _workers == 0; });
    }
    closeProgressWindow();
}

bool QNLowNetwork::isBusy() const
{
    std::lock_guard g(_stateMutex);
    return _busy;
}

QNProgressWindowController* QNLowNetwork::progressWindowController() const
{
    return _progressWindowController.data();
}

// ---------------------------------------------------------------- starting

// Checks the arguments, takes the busy state and resets the counters for a
// new transfer. Returns 0, or the code that refuses the transfer.
qint32 QNLowNetwork::beginTransfer(const QUrl& url, const QString& localFilePath, const QVariantMap& option,
                                   Direction direction)
{
    if (url.isEmpty() || !url.isValid() || localFilePath.isEmpty())
        return kQNLowNetworkParamErr;
    {
        std::lock_guard g(_stateMutex);
        if (_busy)
            return kQNLowNetworkBusyErr;
        _busy = true;
    }
    _option = option;
    _processedSize = 0;
    _fileSize = 0;
    _direction = direction;
    return 0;
}

qint32 QNLowNetwork::downloadURL(const QUrl& url, const QString& localFilePath, QWidget* docWindow,
                                 const QVariantMap& option)
{
    if (const qint32 refused = beginTransfer(url, localFilePath, option, Direction::Download))
        return refused;

    const QString scheme = url.scheme().toLower();
    qint32 code = kQNLowNetworkParamErr;
    if (scheme == QLatin1String("http") || scheme == QLatin1String("ftp") || scheme == QLatin1String("file")) {
        if (!_option.value(kQNLowNetworkInBackgroundOption).toBool())
            setupProgressWindowForDocWindow(docWindow, Direction::Download);
        if (scheme == QLatin1String("http"))
            code = downloadHTTPURL(url, localFilePath);
        else if (scheme == QLatin1String("ftp"))
            code = downloadFTPURL(url, localFilePath);
        else
            code = downloadFileURL(url, localFilePath);
    }
    if (code == kQNLowNetworkSuccess || code == kQNLowNetworkStarted)
        return code;
    closeProgressWindow();
    clearData();
    return code;
}

qint32 QNLowNetwork::downloadHTTPURL(const QUrl& url, const QString& localFilePath)
{
    CURL* h = newHandle(url, "http");
    if (!h)
        return kQNLowNetworkIOErr;
    _readStream = h;
    setStreamPropertiesToHTTPReadStream(h);
    if (const qint32 code = createLocalFile(localFilePath))
        return code;
    _sourceURL = url;
    _protocolCheckSelector = &QNLowNetwork::httpCheckResponse;
    return startWorker(Direction::Download);
}

qint32 QNLowNetwork::downloadFTPURL(const QUrl& url, const QString& localFilePath)
{
    CURL* h = newHandle(url, "ftp");
    if (!h)
        return kQNLowNetworkIOErr;
    _readStream = h;
    setStreamPropertiesToFTPStream(h, _option);
    if (const qint32 code = createLocalFile(localFilePath))
        return code;
    _sourceURL = url;
    _ftpFirstCheck = true;
    _protocolCheckSelector = &QNLowNetwork::ftpCheckStream;
    return startWorker(Direction::Download);
}

qint32 QNLowNetwork::downloadFileURL(const QUrl& url, const QString& localFilePath)
{
    const QString source = url.toLocalFile();
    struct stat st;
    if (source.isEmpty() || ::stat(QFile::encodeName(source).constData(), &st) != 0)
        return kQNLowNetworkNotFoundErr;
    if (S_ISDIR(st.st_mode))
        return kQNLowNetworkIsDirectoryErr;
    _fileSize = static_cast<quint64>(st.st_size);

    // Writing a file over itself would truncate the source before it is read.
    struct stat dest;
    if (::stat(QFile::encodeName(localFilePath).constData(), &dest) == 0 && dest.st_dev == st.st_dev
        && dest.st_ino == st.st_ino)
        return kQNLowNetworkFileExistsErr;

    _sourceFileHandle = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    if (_sourceFileHandle < 0)
        return kQNLowNetworkIOErr;
    if (const qint32 code = createLocalFile(localFilePath))
        return code;
    _sourceURL = url;
    _protocolCheckSelector = nullptr;
    return startWorker(Direction::Download);
}

qint32 QNLowNetwork::uploadToURL(const QUrl& url, const QString& localFilePath, QWidget* docWindow,
                                 const QVariantMap& option)
{
    if (const qint32 refused = beginTransfer(url, localFilePath, option, Direction::Upload))
        return refused;

    const QString scheme = url.scheme().toLower();
    const bool foreground = !_option.value(kQNLowNetworkInBackgroundOption).toBool();
    qint32 code = kQNLowNetworkIOErr;
    if (scheme == QLatin1String("ftp")) {
        if (foreground)
            setupProgressWindowForDocWindow(docWindow, Direction::Upload);
        code = uploadToFTPURL(url, localFilePath);
    } else if (scheme == QLatin1String("file")) {
        // Uploads to local URLs are not provided.
        if (foreground)
            setupProgressWindowForDocWindow(docWindow, Direction::Upload);
        code = kQNLowNetworkIOErr;
    }
    if (code == kQNLowNetworkSuccess || code == kQNLowNetworkStarted)
        return code;
    closeProgressWindow();
    clearData();
    return code;
}

qint32 QNLowNetwork::uploadToFTPURL(const QUrl& url, const QString& localFilePath)
{
    const QString name = QNURLExtend::lastPathComponent(url);
    if (url.path().endsWith(QLatin1Char('/')) || name.isEmpty() || name == QLatin1String("/"))
        return kQNLowNetworkParamErr;
    const QUrl parent = QNURLExtend::URLByDeletingLastPathComponent(url);
    // One handle for the name check and the upload: the upload goes over the
    // listing's control connection instead of connecting and logging in again.
    CURL* h = newHandle(parent, "ftp");
    if (!h)
        return kQNLowNetworkIOErr;
    _writeStream = h;
    _transferMulti = curl_multi_init();
    setStreamPropertiesToFTPStream(h, _option);
    const std::optional<QVariantList> contents = listFTPDirectory(h, parent, _transferMulti);

    QUrl target = url;
    if (isItemName(name, contents)) {
        switch (_option.value(kQNLowNetworkOverwriteOption).toInt()) {
        case 1:
            // Remote files are never deleted, so a taken name cannot be reused.
            return kQNLowNetworkIOErr;
        case 2:
            target = QNURLExtend::URLByAppendingPathComponent(parent, newFileNameForFile(name, contents), false);
            break;
        default:
            return kQNLowNetworkFileExistsErr;
        }
    }
    curl_easy_setopt(h, CURLOPT_URL, target.toEncoded().constData());
    if (const qint32 code = openLocalFile(localFilePath))
        return code;
    _sourceURL = target;
    _protocolCheckSelector = nullptr;
    return startWorker(Direction::Upload);
}

qint32 QNLowNetwork::createLocalFile(const QString& path)
{
    QString target = path;
    int fd = -1;
    struct stat st;
    if (!pathExists(path, &st)) {
        fd = createExclusive(path);
        if (fd < 0)
            return kQNLowNetworkIOErr;
    } else {
        switch (_option.value(kQNLowNetworkOverwriteOption).toInt()) {
        case 0:
            return kQNLowNetworkFileExistsErr;
        case 1: {
            struct stat followed;
            const bool followedOK = ::stat(QFile::encodeName(path).constData(), &followed) == 0;
            if (S_ISDIR(st.st_mode) || (followedOK && S_ISDIR(followed.st_mode)))
                return kQNLowNetworkFileExistsErr;
            // A file we may not write stays as it is.
            if (::access(QFile::encodeName(path).constData(), W_OK) != 0)
                return kQNLowNetworkIOErr;
            if (followedOK && !S_ISREG(followed.st_mode)) {
                // A FIFO or a device is written into, never replaced by a
                // file. O_NONBLOCK keeps a FIFO without reader from hanging
                // the open.
                fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK);
                if (fd < 0)
                    return kQNLowNetworkIOErr;
                ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
                break;
            }
            // The old file stays untouched until the new one is complete: the
            // download goes to a temporary beside it (same file system, so the
            // final rename is atomic) that replaces it only on success. A
            // link is resolved so that its target is replaced, not the link.
            QString replaced = path;
            if (S_ISLNK(st.st_mode)) {
                replaced = QFileInfo(path).canonicalFilePath();
                if (replaced.isEmpty())
                    return kQNLowNetworkIOErr;
            }
            target = temporaryPathBeside(replaced, &fd);
            if (fd < 0)
                return kQNLowNetworkIOErr;
            // The replacement keeps the old file's permissions.
            if (::stat(QFile::encodeName(replaced).constData(), &followed) == 0)
                ::fchmod(fd, followed.st_mode & 07777);
            _replacePath = replaced;
            break;
        }
        case 2:
            target = newPathForFile(path);
            fd = createExclusive(target);
            if (fd < 0)
                return kQNLowNetworkIOErr;
            break;
        default:
            return kQNLowNetworkParamErr;
        }
    }
    _localFileHandle = fd;
    _filePath = target;
    return kQNLowNetworkSuccess;
}

qint32 QNLowNetwork::openLocalFile(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return kQNLowNetworkNotFoundErr;
    if (S_ISDIR(st.st_mode))
        return kQNLowNetworkIsDirectoryErr;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return kQNLowNetworkNotFoundErr;
    _localFileHandle = fd;
    _filePath = path;
    _fileSize = static_cast<quint64>(st.st_size);
    return kQNLowNetworkSuccess;
}

QString QNLowNetwork::newPathForFile(const QString& path)
{
    const QFileInfo info(path);
    QString base, extension;
    splitName(info.fileName(), &base, &extension);
    const QString dir = info.path();
    for (quint64 n = 1;; ++n) {
        const QString candidate = dir + QLatin1Char('/') + numberedName(base, extension, n);
        if (!pathExists(candidate))
            return candidate;
    }
}

qint32 QNLowNetwork::startWorker(Direction direction)
{
    auto lock = std::make_shared<qn::ConditionLock>(0);
    lock->lock();
    {
        std::lock_guard g(_stateMutex);
        _runCondLock = lock;
        ++_workers;
    }
    _endCode = -1;
    _anyChunkChecked = false;
    try {
        std::thread(direction == Direction::Download ? &QNLowNetwork::readStreamThreadProc
                                                     : &QNLowNetwork::writeStreamThreadProc,
                    this)
            .detach();
    } catch (const std::system_error&) {
        {
            std::lock_guard g(_stateMutex);
            --_workers;
        }
        lock->unlock();
        if (direction == Direction::Download && !_filePath.isEmpty()) {
            closeFile(_localFileHandle);
            ::unlink(QFile::encodeName(_filePath).constData());
        }
        return kQNLowNetworkIOErr;
    }
    lock->unlockWithCondition(1);
    return kQNLowNetworkStarted;
}

// ---------------------------------------------------------------- stream settings

void QNLowNetwork::setStreamPropertiesToHTTPReadStream(void* stream)
{
    CURL* h = handle(stream);
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 20L);
    // A redirect may lead to another web server, never to a local file.
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
}

void QNLowNetwork::setStreamPropertiesToFTPStream(void* stream, const QVariantMap& option) const
{
    CURL* h = handle(stream);
    if (option.contains(kQNLowNetworkUserName) && option.contains(kQNLowNetworkPassword)) {
        curl_easy_setopt(h, CURLOPT_USERNAME, option.value(kQNLowNetworkUserName).toString().toUtf8().constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, option.value(kQNLowNetworkPassword).toString().toUtf8().constData());
    }
    // Passive is curl's default (EPSV, then PASV); "-" makes it offer a port
    // on the control connection's own address instead.
    if (!option.value(kQNLowNetworkPassiveModeOption).toBool())
        curl_easy_setopt(h, CURLOPT_FTPPORT, "-");
    // One handle per transfer keeps its control connection for every step.
    curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 0L);
}

// ---------------------------------------------------------------- workers

bool QNLowNetwork::waitForStart()
{
    // The starting thread holds the lock until the worker exists; waiting for
    // it here keeps that first hold from reading as a stop request.
    _runCondLock->lock();
    const int condition = _runCondLock->condition();
    _runCondLock->unlockWithCondition(condition);
    return condition == 1;
}

bool QNLowNetwork::stopRequested() const
{
    return _runCondLock->condition() == 0;
}

void QNLowNetwork::readStreamThreadProc()
{
    qint32 code = kQNLowNetworkIOErr;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBufferSize]);
    if (buffer) {
        if (!waitForStart())
            code = kQNLowNetworkCancelled;
        else if (_readStream)
            code = runCurlDownload(buffer.get());
        else
            code = runFileDownload(buffer.get());
    }
    _chunk = nullptr;
    buffer.reset();
    stopOperationWithError(code);
}

void QNLowNetwork::writeStreamThreadProc()
{
    const qint32 code = waitForStart() ? runCurlUpload() : kQNLowNetworkCancelled;
    stopOperationWithError(code);
}

qint32 QNLowNetwork::runCurlDownload(char* buffer)
{
    _chunk = buffer;
    _chunkFill = 0;
    CURL* h = handle(_readStream);
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, static_cast<long>(kBufferSize));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &QNLowNetwork::curlWrite);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &QNLowNetwork::curlProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
    const CURLcode rc = curl_easy_perform(h);

    qint32 code;
    const bool ftp = _protocolCheckSelector == &QNLowNetwork::ftpCheckStream;
    if (_endCode >= 0) {
        code = _endCode;
    } else if (rc == CURLE_OK) {
        code = kQNLowNetworkSuccess;
        if (_protocolCheckSelector == &QNLowNetwork::httpCheckResponse && !_anyChunkChecked)
            code = httpCheckResponse();  // an error reply without a body
        else if (ftp && _ftpFirstCheck && _sourceURL.path().endsWith(QLatin1Char('/')))
            code = kQNLowNetworkIsDirectoryErr;  // an empty directory listing
    } else if (rc == CURLE_ABORTED_BY_CALLBACK) {
        code = kQNLowNetworkCancelled;
    } else if (ftp && rc == CURLE_REMOTE_FILE_NOT_FOUND && _ftpFirstCheck && ftpURLIsDirectory(_sourceURL)) {
        code = kQNLowNetworkIsDirectoryErr;
    } else {
        code = kQNLowNetworkIOErr;
    }
    if (code == kQNLowNetworkSuccess || code == kQNLowNetworkCancelled) {
        const qint32 flushed = flushBuffer();
        if (code == kQNLowNetworkSuccess)
            code = flushed;
    }
    return code;
}

qint32 QNLowNetwork::runFileDownload(char* buffer)
{
    _chunk = nullptr;
    qn::ConditionLock& lock = *_runCondLock;
    for (;;) {
        if (!lock.tryLockWhenCondition(1, std::chrono::steady_clock::now()))
            return kQNLowNetworkCancelled;
        ssize_t n;
        do
            n = ::read(_sourceFileHandle, buffer, static_cast<size_t>(kBufferSize));
        while (n < 0 && errno == EINTR);
        qint32 code = -1;
        if (n < 0)
            code = kQNLowNetworkIOErr;
        else if (n == 0)
            code = kQNLowNetworkSuccess;
        else if (const qint32 handled = handleBytes(buffer, n))
            code = handled;
        lock.unlockWithCondition(1);
        if (code >= 0)
            return code;
    }
}

qint32 QNLowNetwork::runCurlUpload()
{
    CURL* h = handle(_writeStream);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_UPLOAD_BUFFERSIZE, static_cast<long>(kBufferSize));
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(_fileSize));
    curl_easy_setopt(h, CURLOPT_READFUNCTION, &QNLowNetwork::curlRead);
    curl_easy_setopt(h, CURLOPT_READDATA, this);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &QNLowNetwork::curlProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
    const CURLcode rc = performWithShortWaits(h, static_cast<CURLM*>(_transferMulti));
    if (_endCode >= 0)
        return _endCode;
    if (rc == CURLE_OK)
        return kQNLowNetworkSuccess;
    if (rc == CURLE_ABORTED_BY_CALLBACK)
        return kQNLowNetworkCancelled;
    return kQNLowNetworkIOErr;
}

// One cycle of a download: take the run condition, check, keep the bytes.
size_t QNLowNetwork::curlWrite(char* data, size_t size, size_t count, void* self)
{
    auto* engine = static_cast<QNLowNetwork*>(self);
    const size_t len = size * count;
    qn::ConditionLock& lock = *engine->_runCondLock;
    if (!lock.tryLockWhenCondition(1, std::chrono::steady_clock::now())) {
        engine->_endCode = kQNLowNetworkCancelled;
        return 0;
    }
    qint32 code = engine->performProtocolCheckSelector();
    if (!code)
        code = engine->handleBytes(data, static_cast<qint64>(len));
    lock.unlockWithCondition(1);
    if (code) {
        engine->_endCode = code;
        return 0;
    }
    return len;
}

// One cycle of an upload: read the next bytes of the source, at the offset
// of what the server has been given so far.
size_t QNLowNetwork::curlRead(char* data, size_t size, size_t count, void* self)
{
    auto* engine = static_cast<QNLowNetwork*>(self);
    qn::ConditionLock& lock = *engine->_runCondLock;
    if (!lock.tryLockWhenCondition(1, std::chrono::steady_clock::now())) {
        engine->_endCode = kQNLowNetworkCancelled;
        return CURL_READFUNC_ABORT;
    }
    const size_t want = std::min(size * count, static_cast<size_t>(kBufferSize));
    ssize_t n;
    do
        n = ::pread(engine->_localFileHandle, data, want, static_cast<off_t>(engine->_processedSize.load()));
    while (n < 0 && errno == EINTR);
    if (n > 0)
        engine->updateProgress(n);
    lock.unlockWithCondition(1);
    if (n < 0) {
        engine->_endCode = kQNLowNetworkIOErr;
        return CURL_READFUNC_ABORT;
    }
    return static_cast<size_t>(n);
}

// Called by curl even while no data flows, so a stop request is seen on a
// stalled connection too.
int QNLowNetwork::curlProgress(void* self, long long, long long, long long, long long)
{
    auto* engine = static_cast<QNLowNetwork*>(self);
    if (!engine->stopRequested())
        return 0;
    engine->_endCode = kQNLowNetworkCancelled;
    return 1;
}

qint32 QNLowNetwork::performProtocolCheckSelector()
{
    return _protocolCheckSelector ? (this->*_protocolCheckSelector)() : kQNLowNetworkSuccess;
}

qint32 QNLowNetwork::httpCheckResponse()
{
    _anyChunkChecked = true;
    long status = 0;
    curl_easy_getinfo(handle(_readStream), CURLINFO_RESPONSE_CODE, &status);
    if (status == 0)
        return kQNLowNetworkSuccess;
    if (status == 404)
        return kQNLowNetworkNotFoundErr;
    if (status > 299)
        return kQNLowNetworkIOErr;
    return kQNLowNetworkSuccess;
}

qint32 QNLowNetwork::ftpCheckStream()
{
    if (!_ftpFirstCheck)
        return kQNLowNetworkSuccess;
    curl_off_t size = -1;
    curl_easy_getinfo(handle(_readStream), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
    if (size < 0)
        return kQNLowNetworkIsDirectoryErr;  // a listing, not a file
    _fileSize = static_cast<quint64>(size);
    _ftpFirstCheck = false;
    return kQNLowNetworkSuccess;
}

bool QNLowNetwork::ftpURLIsDirectory(const QUrl& url) const
{
    QUrl dir = url;
    if (!dir.path().endsWith(QLatin1Char('/')))
        dir.setPath(dir.path() + QLatin1Char('/'));
    CURL* h = newHandle(dir, "ftp");
    if (!h)
        return false;
    setStreamPropertiesToFTPStream(h, _option);
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 30L);
    const CURLcode rc = curl_easy_perform(h);
    curl_easy_cleanup(h);
    return rc == CURLE_OK;
}

qint32 QNLowNetwork::handleBytes(const char* bytes, qint64 size)
{
    if (_chunk) {
        if (_chunkFill + size > kBufferSize) {
            if (const qint32 code = flushBuffer())
                return code;
        }
        if (size >= kBufferSize) {
            if (!writeAll(_localFileHandle, bytes, size))
                return kQNLowNetworkIOErr;
        } else {
            std::copy(bytes, bytes + size, _chunk + _chunkFill);
            _chunkFill += size;
        }
    } else if (!writeAll(_localFileHandle, bytes, size)) {
        return kQNLowNetworkIOErr;
    }
    updateProgress(size);
    return kQNLowNetworkSuccess;
}

qint32 QNLowNetwork::flushBuffer()
{
    if (!_chunk || _chunkFill == 0)
        return kQNLowNetworkSuccess;
    const bool ok = writeAll(_localFileHandle, _chunk, _chunkFill);
    _chunkFill = 0;
    return ok ? kQNLowNetworkSuccess : kQNLowNetworkIOErr;
}

void QNLowNetwork::updateProgress(qint64 size)
{
    const quint64 processed = _processedSize.fetch_add(static_cast<quint64>(size)) + static_cast<quint64>(size);
    if (!_progress)
        return;
    if (!_progress->determinate.load()) {
        _progress->maximum = _fileSize;
        _progress->determinate = true;
    }
    _progress->processed = processed;
}

// ---------------------------------------------------------------- ending

void QNLowNetwork::stopOperationWithError(qint32 code)
{
    closeStream(_readStream);
    closeStream(_writeStream);
    closeMulti(_transferMulti);
    closeFile(_sourceFileHandle);
    if (!_replacePath.isEmpty()) {
        // Overwrite 1: the complete temporary replaces the old file; after a
        // failure or a cancel the old file stays as it was.
        bool replaced = false;
        if (code == kQNLowNetworkSuccess) {
            replaced = ::fsync(_localFileHandle) == 0;
            replaced = ::close(_localFileHandle) == 0 && replaced;
            _localFileHandle = -1;
            replaced = replaced
                && ::rename(QFile::encodeName(_filePath).constData(), QFile::encodeName(_replacePath).constData()) == 0;
            if (!replaced)
                code = kQNLowNetworkIOErr;
        }
        closeFile(_localFileHandle);
        if (!replaced)
            ::unlink(QFile::encodeName(_filePath).constData());
    } else if (code >= kQNLowNetworkIOErr) {
        closeFile(_localFileHandle);
        // A failed download leaves no partial file; an upload's source is the
        // user's own file and stays.
        if (_direction == Direction::Download && !_filePath.isEmpty())
            ::unlink(QFile::encodeName(_filePath).constData());
    }
    if (_progress)
        _progress->finished = true;
    clearData();
    qn::NotificationCenter::defaultCenter().post(QString::fromLatin1(kQNLowNetworkOperationCompleteNotification),
                                                 this, {{QString::fromLatin1(kQNLowNetworkResultKey), code}});
    std::lock_guard g(_stateMutex);
    --_workers;
    _workerEnded.notify_all();
}

void QNLowNetwork::clearData()
{
    closeStream(_readStream);
    closeStream(_writeStream);
    closeMulti(_transferMulti);
    closeFile(_sourceFileHandle);
    closeFile(_localFileHandle);
    _option.clear();
    _fileSize = 0;
    _processedSize = 0;
    _filePath.clear();
    _replacePath.clear();
    _sourceURL.clear();
    _ftpFirstCheck = false;
    _anyChunkChecked = false;
    _protocolCheckSelector = nullptr;
    _chunk = nullptr;
    _chunkFill = 0;
    _progress.reset();
    std::lock_guard g(_stateMutex);
    _runCondLock.reset();
    _busy = false;
}

void QNLowNetwork::onCancelDownload(QObject*)
{
    std::shared_ptr<qn::ConditionLock> lock;
    {
        std::lock_guard g(_stateMutex);
        lock = _runCondLock;
    }
    if (!lock)
        return;
    // Waits for the worker's current cycle, then leaves the stop request.
    lock->lock();
    lock->unlockWithCondition(0);
}

// ---------------------------------------------------------------- progress window

void QNLowNetwork::setupProgressWindowForDocWindow(QWidget* docWindow, Direction direction)
{
    closeProgressWindow();  // a window of an earlier transfer not yet taken down
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;  // no widgets without a widget application
    ensureTranslations();
    auto* controller = new QNProgressWindowController();
    controller->setTarget(this, "onCancelDownload");
    QString title = _option.value(kQNLowNetworkProgressWindowTitle).toString();
    if (!_option.contains(kQNLowNetworkProgressWindowTitle))
        title = qn::localizedString(direction == Direction::Download ? kQNNetworkDownloadProgressWindowTitle
                                                                     : kQNNetworkUploadProgressWindowTitle);
    controller->setWindowTitle(title);
    if (docWindow)
        controller->beginSheet(docWindow);
    _progressWindowController = controller;
    _sheetParent = docWindow;
    _progress = std::make_shared<ProgressLink>();
    _shownProgress = _progress;
    _progressTimer.start();
}

void QNLowNetwork::refreshProgressWindow()
{
    if (!_shownProgress) {
        _progressTimer.stop();
        return;
    }
    if (_progressWindowController && _shownProgress->determinate.load()) {
        // QProgressBar counts in int: scale large transfers down.
        const quint64 maximum = _shownProgress->maximum.load();
        const quint64 processed = std::min(_shownProgress->processed.load(), maximum);
        const quint64 scale = maximum / INT_MAX + 1;
        QProgressBar* bar = _progressWindowController->progressIndicator();
        bar->setRange(0, static_cast<int>(maximum / scale));
        bar->setValue(static_cast<int>(processed / scale));
    }
    if (_shownProgress->finished.load())
        closeProgressWindow();
}

void QNLowNetwork::closeProgressWindow()
{
    _progressTimer.stop();
    _shownProgress.reset();
    if (QNProgressWindowController* controller = _progressWindowController.data()) {
        if (controller->isSheet())
            controller->endSheet();
        controller->closeWindow();
        delete controller;
    }
    _progressWindowController.clear();
    _sheetParent.clear();
}

// ---------------------------------------------------------------- listings

std::optional<QVariantList> QNLowNetwork::directoryContentsOfFTPURL(const QUrl& url, const QVariantMap& option)
{
    if (!url.isValid() || url.scheme().compare(QLatin1String("ftp"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    CURL* h = newHandle(url, "ftp");
    if (!h)
        return std::nullopt;
    setStreamPropertiesToFTPStream(h, option);
    std::optional<QVariantList> records = listFTPDirectory(h, url);
    curl_easy_cleanup(h);
    return records;
}

std::optional<QVariantList> QNLowNetwork::listFTPDirectory(void* stream, const QUrl& url, void* multi)
{
    if (!url.isValid() || url.scheme().compare(QLatin1String("ftp"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    CURL* h = handle(stream);
    // A trailing slash makes curl list the folder; a file there fails to list.
    QUrl dir = url;
    if (!dir.path().endsWith(QLatin1Char('/')))
        dir.setPath(dir.path() + QLatin1Char('/'));
    curl_easy_setopt(h, CURLOPT_URL, dir.toEncoded().constData());
    QByteArray listing;
    listing.reserve(kBufferSize);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &appendToListing);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &listing);
    // The listing blocks the calling thread: a dead server must not hold it forever.
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, 60L);
    const CURLcode rc = performWithShortWaits(h, static_cast<CURLM*>(multi));
    // The handle may go on to upload: back to curl's own settings.
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &discardBytes);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 0L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 0L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, 0L);
    if (rc != CURLE_OK || listing.isEmpty())
        return std::nullopt;
    QVariantList records = parseDirectoryListing(listing);
    if (records.isEmpty())
        return std::nullopt;
    return records;
}

QVariantList QNLowNetwork::parseDirectoryListing(const QByteArray& listing)
{
    QVariantList records;
    qsizetype offset = 0;
    while (offset < listing.size()) {
        QNFTPListEntry entry;
        const qsizetype consumed = QNFTPListParser::parseLine(listing.constData() + offset, listing.size() - offset,
                                                              true, &entry);
        if (consumed <= 0)
            break;
        offset += consumed;
        if (!entry.valid)
            continue;
        QVariantMap record;
        if (!entry.name.isEmpty())
            record.insert(kQNLowNetworkDirectoryContentsKeyName, entry.name);
        if (entry.type >= 0)
            record.insert(kQNLowNetworkDirectoryContentsKeyIsDirectory, entry.type == QNFTPListEntry::Directory);
        if (entry.type == QNFTPListEntry::RegularFile && entry.hasSize)
            record.insert(kQNLowNetworkDirectoryContentsKeyFileSize, QVariant::fromValue<qulonglong>(entry.size));
        records.append(record);
    }
    return records;
}

bool QNLowNetwork::isItemName(const QString& name, const std::optional<QVariantList>& contents)
{
    if (!contents)
        return false;
    for (const QVariant& record : *contents) {
        const QVariant itemName = record.toMap().value(kQNLowNetworkDirectoryContentsKeyName);
        if (itemName.isValid() && itemName.toString().compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString QNLowNetwork::newFileNameForFile(const QString& name, const std::optional<QVariantList>& contents)
{
    QString base, extension;
    splitName(name, &base, &extension);
    for (quint64 n = 1;; ++n) {
        const QString candidate = numberedName(base, extension, n);
        if (!isItemName(candidate, contents))
            return candidate;
    }
}
