// SPDX-License-Identifier: MIT
#pragma once
// The local end of a transfer: the file a download writes (created under the
// overwrite policy, replaced atomically when writing over a file) or the file
// an upload reads. Owns the descriptor; private to libQNEnhancer.
#include "QNLowNetwork.h"

#include <QString>
#include <sys/types.h>

namespace qn::transfer {

/// name numbered n before its extension ("a.txt", 2 -> "a2.txt"); a leading
/// dot belongs to the name. Used for local and remote names alike.
QString numberedFileName(const QString& name, quint64 n);

class LocalDestination {
public:
    LocalDestination() = default;
    ~LocalDestination() { close(); }
    LocalDestination(const LocalDestination&) = delete;
    LocalDestination& operator=(const LocalDestination&) = delete;

    /// Opens the target of a download at path. When something exists there,
    /// overwriteMode 0 refuses (FileExistsErr), 1 writes into a temporary
    /// beside it that replaces it on success (a FIFO or device is written
    /// into), 2 picks the first free numbered path.
    QNLowNetworkResult create(const QString& path, int overwriteMode);
    /// Opens the source of an upload for reading; its size in *size.
    QNLowNetworkResult openSource(const QString& path, quint64* size);

    bool write(const char* data, qint64 size);
    /// Reads at offset (for an upload); -1 on failure.
    ssize_t readAt(char* data, size_t size, quint64 offset);

    /// Ends a download with code: a complete replacement takes the old
    /// file's place (a failed rename turns success into IOErr); a failed
    /// download leaves no partial file. Returns the final code.
    QNLowNetworkResult finishDownload(QNLowNetworkResult code);
    /// Removes what create() made (the transfer never started).
    void discard();
    /// Closes the file and forgets it, leaving it on disk.
    void close();

    /// The file being written or read (a temporary while replacing).
    const QString& path() const { return _path; }

    /// path, numbered the same way: the first candidate at which nothing exists.
    static QString newPathForFile(const QString& path);

private:
    int _fd = -1;
    QString _path;
    QString _replacePath;  // overwrite 1: the file that _path (a temporary) replaces on success
};

}  // namespace qn::transfer
