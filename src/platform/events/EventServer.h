// SPDX-License-Identifier: MIT
#pragma once
// Private to the events area: the listening socket of one process. Each
// connection carries one frame (EventTransport's framing) holding one encoded
// event; the server answers with an i32 status and closes the connection.
//
// - Only peers of this process's uid are accepted; others are closed without
//   an answer. At most kMaxConnections are open at once.
// - A malformed frame (over-long length, bytes after the frame, a payload that
//   does not decode) is answered errAECorruptData and the connection closed;
//   other connections are not affected.
// - A connection that does not complete its frame within kConnectionTimeoutMs
//   is closed, so a silent client cannot hold a slot for ever.
// Everything runs on the thread that owns the server (the main loop); no read
// ever blocks.
#include "events/AppleEvent.h"

#include <QObject>
#include <QString>
#include <map>
#include <memory>

class QSocketNotifier;

namespace qn::events {

class EventServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxConnections = 64;
    static constexpr int kConnectionTimeoutMs = 5000;

    explicit EventServer(QObject* parent = nullptr);
    ~EventServer() override;

    /// Binds and listens on socketFile (mode 0600; a stale file is replaced).
    /// False with a reason in *error.
    bool listen(const QString& socketFile, QString* error);
    /// Drops every connection, stops listening and removes the socket file.
    void close();

signals:
    /// A well-formed event arrived; its sender is the peer's PSN.
    void received(const qn::events::AppleEvent& event);

private:
    struct Connection;

    void acceptAll();
    void readFrom(int fd);
    void finish(int fd, qint32 status);
    void drop(int fd);

    int _listenFd = -1;
    QString _socketFile;
    QSocketNotifier* _acceptNotifier = nullptr;
    std::map<int, std::unique_ptr<Connection>> _connections;
};

}  // namespace qn::events
