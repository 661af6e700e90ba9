// SPDX-License-Identifier: MIT
#include "QNLowNetwork.h"

#include "FtpListing.h"
#include "LocalDestination.h"
#include "QNCurlHandles.h"
#include "QNURLExtend.h"
#include "TransferProgress.h"
#include "notify/NotificationCenter.h"
#include "threading/ConditionLock.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using enum QNLowNetworkResult;
using qn::curl::Protocol;
using qn::transfer::FtpListing;

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

struct QNLowNetwork::Transfer {
    qn::curl::Easy readStream;      // download handle (http, ftp)
    qn::curl::Easy writeStream;     // upload handle (ftp)
    qn::curl::Multi transferMulti;  // upload: keeps the connection from the name check to the upload
    qn::transfer::LocalDestination local;  // destination of a download, source of an upload
    std::shared_ptr<qn::transfer::TransferProgress::Link> progress;  // null in background mode

    void closeStreams()
    {
        readStream.reset();
        writeStream.reset();
        transferMulti.reset();
    }
};

namespace {

void closeFile(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

QNLowNetwork::QNLowNetwork(QObject* parent)
    : QObject(parent)
    , _transfer(std::make_unique<Transfer>())
    , _progressWindow(std::make_unique<qn::transfer::TransferProgress>(this))
{
    qn::curl::ensureReady();
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
    return _progressWindow->controller();
}

// ---------------------------------------------------------------- starting

// Checks the arguments, takes the busy state and resets the counters for a
// new transfer. Returns nothing, or the code that refuses the transfer.
std::optional<QNLowNetworkResult> QNLowNetwork::beginTransfer(const QUrl& url, const QString& localFilePath,
                                                              const QVariantMap& option, Direction direction)
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
    return std::nullopt;
}

QNLowNetworkResult QNLowNetwork::downloadURL(const QUrl& url, const QString& localFilePath, QWidget* docWindow,
                                             const QVariantMap& option)
{
    if (const auto refused = beginTransfer(url, localFilePath, option, Direction::Download))
        return *refused;

    const QString scheme = url.scheme().toLower();
    Result code = kQNLowNetworkParamErr;
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

QNLowNetworkResult QNLowNetwork::downloadHTTPURL(const QUrl& url, const QString& localFilePath)
{
    _transfer->readStream = qn::curl::newHandle(url, Protocol::Http);
    if (!_transfer->readStream)
        return kQNLowNetworkIOErr;
    qn::curl::setHTTPReadOptions(_transfer->readStream.get());
    if (const Result code = _transfer->local.create(localFilePath, _option.value(kQNLowNetworkOverwriteOption).toInt());
        code != kQNLowNetworkSuccess)
        return code;
    _sourceURL = url;
    _protocol = Protocol::Http;
    return startWorker(Direction::Download);
}

QNLowNetworkResult QNLowNetwork::downloadFTPURL(const QUrl& url, const QString& localFilePath)
{
    _transfer->readStream = qn::curl::newHandle(url, Protocol::Ftp);
    if (!_transfer->readStream)
        return kQNLowNetworkIOErr;
    qn::curl::setFTPOptions(_transfer->readStream.get(), _option);
    if (const Result code = _transfer->local.create(localFilePath, _option.value(kQNLowNetworkOverwriteOption).toInt());
        code != kQNLowNetworkSuccess)
        return code;
    _sourceURL = url;
    _ftpFirstCheck = true;
    _protocol = Protocol::Ftp;
    return startWorker(Direction::Download);
}

QNLowNetworkResult QNLowNetwork::downloadFileURL(const QUrl& url, const QString& localFilePath)
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
    if (const Result code = _transfer->local.create(localFilePath, _option.value(kQNLowNetworkOverwriteOption).toInt());
        code != kQNLowNetworkSuccess)
        return code;
    _sourceURL = url;
    _protocol = Protocol::File;
    return startWorker(Direction::Download);
}

QNLowNetworkResult QNLowNetwork::uploadToURL(const QUrl& url, const QString& localFilePath, QWidget* docWindow,
                                             const QVariantMap& option)
{
    if (const auto refused = beginTransfer(url, localFilePath, option, Direction::Upload))
        return *refused;

    const QString scheme = url.scheme().toLower();
    const bool foreground = !_option.value(kQNLowNetworkInBackgroundOption).toBool();
    Result code = kQNLowNetworkIOErr;
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

QNLowNetworkResult QNLowNetwork::uploadToFTPURL(const QUrl& url, const QString& localFilePath)
{
    const QString name = QNURLExtend::lastPathComponent(url);
    if (url.path().endsWith(QLatin1Char('/')) || name.isEmpty() || name == QLatin1String("/"))
        return kQNLowNetworkParamErr;
    const QUrl parent = QNURLExtend::URLByDeletingLastPathComponent(url);
    // One handle for the name check and the upload: the upload goes over the
    // listing's control connection instead of connecting and logging in again.
    _transfer->writeStream = qn::curl::newHandle(parent, Protocol::Ftp);
    CURL* h = _transfer->writeStream.get();
    if (!h)
        return kQNLowNetworkIOErr;
    _transfer->transferMulti.reset(curl_multi_init());
    qn::curl::setFTPOptions(h, _option);
    const std::optional<QVariantList> contents = FtpListing::list(h, parent, _transfer->transferMulti.get());

    QUrl target = url;
    if (FtpListing::containsName(name, contents)) {
        switch (_option.value(kQNLowNetworkOverwriteOption).toInt()) {
        case 1:
            // Remote files are never deleted, so a taken name cannot be reused.
            return kQNLowNetworkIOErr;
        case 2:
            target = QNURLExtend::URLByAppendingPathComponent(parent, FtpListing::newFileName(name, contents), false);
            break;
        default:
            return kQNLowNetworkFileExistsErr;
        }
    }
    curl_easy_setopt(h, CURLOPT_URL, target.toEncoded().constData());
    if (const Result code = _transfer->local.openSource(localFilePath, &_fileSize); code != kQNLowNetworkSuccess)
        return code;
    _sourceURL = target;
    _protocol = Protocol::File;  // nothing to check per chunk
    return startWorker(Direction::Upload);
}

QNLowNetworkResult QNLowNetwork::startWorker(Direction direction)
{
    auto lock = std::make_shared<qn::ConditionLock>(0);
    lock->lock();
    {
        std::lock_guard g(_stateMutex);
        _runCondLock = lock;
        ++_workers;
    }
    _endCode.reset();
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
        if (direction == Direction::Download)
            _transfer->local.discard();
        return kQNLowNetworkIOErr;
    }
    lock->unlockWithCondition(1);
    return kQNLowNetworkStarted;
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
    Result code = kQNLowNetworkIOErr;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBufferSize]);
    if (buffer) {
        if (!waitForStart())
            code = kQNLowNetworkCancelled;
        else if (_transfer->readStream)
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
    const Result code = waitForStart() ? runCurlUpload() : kQNLowNetworkCancelled;
    stopOperationWithError(code);
}

QNLowNetworkResult QNLowNetwork::runCurlDownload(char* buffer)
{
    _chunk = buffer;
    _chunkFill = 0;
    CURL* h = _transfer->readStream.get();
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, static_cast<long>(kBufferSize));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &QNLowNetwork::curlWrite);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &QNLowNetwork::curlProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
    const CURLcode rc = curl_easy_perform(h);

    Result code;
    const bool ftp = _protocol == Protocol::Ftp;
    if (_endCode) {
        code = *_endCode;
    } else if (rc == CURLE_OK) {
        code = kQNLowNetworkSuccess;
        if (_protocol == Protocol::Http && !_anyChunkChecked)
            code = httpCheckResponse();  // an error reply without a body
        else if (ftp && _ftpFirstCheck && _sourceURL.path().endsWith(QLatin1Char('/')))
            code = kQNLowNetworkIsDirectoryErr;  // an empty directory listing
    } else if (rc == CURLE_ABORTED_BY_CALLBACK) {
        code = kQNLowNetworkCancelled;
    } else if (ftp && rc == CURLE_REMOTE_FILE_NOT_FOUND && _ftpFirstCheck
               && FtpListing::isDirectory(_sourceURL, _option)) {
        code = kQNLowNetworkIsDirectoryErr;
    } else {
        code = kQNLowNetworkIOErr;
    }
    if (code == kQNLowNetworkSuccess || code == kQNLowNetworkCancelled) {
        const Result flushed = flushBuffer();
        if (code == kQNLowNetworkSuccess)
            code = flushed;
    }
    return code;
}

QNLowNetworkResult QNLowNetwork::runFileDownload(char* buffer)
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
        std::optional<Result> code;
        if (n < 0)
            code = kQNLowNetworkIOErr;
        else if (n == 0)
            code = kQNLowNetworkSuccess;
        else if (const Result handled = handleBytes(buffer, n); handled != kQNLowNetworkSuccess)
            code = handled;
        lock.unlockWithCondition(1);
        if (code)
            return *code;
    }
}

QNLowNetworkResult QNLowNetwork::runCurlUpload()
{
    CURL* h = _transfer->writeStream.get();
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_UPLOAD_BUFFERSIZE, static_cast<long>(kBufferSize));
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(_fileSize));
    curl_easy_setopt(h, CURLOPT_READFUNCTION, &QNLowNetwork::curlRead);
    curl_easy_setopt(h, CURLOPT_READDATA, this);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &QNLowNetwork::curlProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
    const CURLcode rc = qn::curl::perform(h, _transfer->transferMulti.get());
    if (_endCode)
        return *_endCode;
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
    Result code = engine->checkProtocol();
    if (code == kQNLowNetworkSuccess)
        code = engine->handleBytes(data, static_cast<qint64>(len));
    lock.unlockWithCondition(1);
    if (code != kQNLowNetworkSuccess) {
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
    const ssize_t n = engine->_transfer->local.readAt(data, want, engine->_processedSize.load());
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

// The check run on the worker before each chunk of a download is kept.
QNLowNetworkResult QNLowNetwork::checkProtocol()
{
    switch (_protocol) {
    case Protocol::Http:
        return httpCheckResponse();
    case Protocol::Ftp:
        return ftpCheckStream();
    case Protocol::File:
        break;
    }
    return kQNLowNetworkSuccess;
}

QNLowNetworkResult QNLowNetwork::httpCheckResponse()
{
    _anyChunkChecked = true;
    long status = 0;
    curl_easy_getinfo(_transfer->readStream.get(), CURLINFO_RESPONSE_CODE, &status);
    if (status == 0)
        return kQNLowNetworkSuccess;
    if (status == 404)
        return kQNLowNetworkNotFoundErr;
    if (status > 299)
        return kQNLowNetworkIOErr;
    return kQNLowNetworkSuccess;
}

QNLowNetworkResult QNLowNetwork::ftpCheckStream()
{
    if (!_ftpFirstCheck)
        return kQNLowNetworkSuccess;
    curl_off_t size = -1;
    curl_easy_getinfo(_transfer->readStream.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
    if (size < 0)
        return kQNLowNetworkIsDirectoryErr;  // a listing, not a file
    _fileSize = static_cast<quint64>(size);
    _ftpFirstCheck = false;
    return kQNLowNetworkSuccess;
}

QNLowNetworkResult QNLowNetwork::handleBytes(const char* bytes, qint64 size)
{
    if (_chunk) {
        if (_chunkFill + size > kBufferSize) {
            if (const Result code = flushBuffer(); code != kQNLowNetworkSuccess)
                return code;
        }
        if (size >= kBufferSize) {
            if (!_transfer->local.write(bytes, size))
                return kQNLowNetworkIOErr;
        } else {
            std::copy(bytes, bytes + size, _chunk + _chunkFill);
            _chunkFill += size;
        }
    } else if (!_transfer->local.write(bytes, size)) {
        return kQNLowNetworkIOErr;
    }
    updateProgress(size);
    return kQNLowNetworkSuccess;
}

QNLowNetworkResult QNLowNetwork::flushBuffer()
{
    if (!_chunk || _chunkFill == 0)
        return kQNLowNetworkSuccess;
    const bool ok = _transfer->local.write(_chunk, _chunkFill);
    _chunkFill = 0;
    return ok ? kQNLowNetworkSuccess : kQNLowNetworkIOErr;
}

void QNLowNetwork::updateProgress(qint64 size)
{
    const quint64 processed = _processedSize.fetch_add(static_cast<quint64>(size)) + static_cast<quint64>(size);
    if (_transfer->progress)
        _transfer->progress->report(processed, _fileSize);
}

// ---------------------------------------------------------------- ending

void QNLowNetwork::stopOperationWithError(Result code)
{
    _transfer->closeStreams();
    closeFile(_sourceFileHandle);
    if (_direction == Direction::Download)
        code = _transfer->local.finishDownload(code);
    // An upload's source is the user's own file and stays.
    _transfer->local.close();
    if (_transfer->progress)
        _transfer->progress->finished = true;
    clearData();
    qn::NotificationCenter::defaultCenter().post(QString::fromLatin1(kQNLowNetworkOperationCompleteNotification),
                                                 this, {{QString::fromLatin1(kQNLowNetworkResultKey), qint32(code)}});
    std::lock_guard g(_stateMutex);
    --_workers;
    _workerEnded.notify_all();
}

void QNLowNetwork::clearData()
{
    _transfer->closeStreams();
    closeFile(_sourceFileHandle);
    _transfer->local.close();
    _option.clear();
    _fileSize = 0;
    _processedSize = 0;
    _sourceURL.clear();
    _ftpFirstCheck = false;
    _anyChunkChecked = false;
    _protocol = Protocol::File;
    _chunk = nullptr;
    _chunkFill = 0;
    _transfer->progress.reset();
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
    _transfer->progress = _progressWindow->open(docWindow, _option, direction == Direction::Upload);
}

void QNLowNetwork::closeProgressWindow()
{
    _progressWindow->close();
}
