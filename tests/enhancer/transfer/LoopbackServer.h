// SPDX-License-Identifier: MIT
#pragma once
// A loopback server started by a test from one of the Python scripts beside
// the tests, stopped by its pid when the object goes away. Started with plain
// fork and exec: ThreadSanitizer follows those, but not the clone-based start
// of QProcess, which leaves it with a broken view of the parent's threads.
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class LoopbackServer {
public:
    enum class Kind { Http, Ftp };

    /// Starts the server on a fresh root folder; extraArgs follow the
    /// script's own arguments. Check ok() afterwards.
    LoopbackServer(Kind kind, const QStringList& extraArgs = {});
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool ok() const { return _port > 0; }
    QString error() const { return _error; }
    int port() const { return _port; }
    /// The folder the server serves (and FTP uploads land in).
    QString root() const { return _root.path(); }
    /// "http://127.0.0.1:<port>" or "ftp://127.0.0.1:<port>"
    QString base() const;
    /// The FTP server's command log.
    QByteArray log() const;

    /// Writes a file below root() (folders created as needed).
    void put(const QString& relative, const QByteArray& content) const;

private:
    Kind _kind;
    QTemporaryDir _root;
    QTemporaryDir _work;
    qint64 _pid = 0;
    int _port = 0;
    QString _error;
};
