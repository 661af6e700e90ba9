// SPDX-License-Identifier: MIT
#pragma once
// Private to the events area: framed message I/O over sockets, shared by the
// event server, the launch hand-over and sending. File names in the socket
// folder are RuntimeDirectory's.
#include "events/AppleEvent.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace qn::events::transport {

/// Writes all of data within the deadline (poll); false on error or time-out.
bool writeAll(int fd, const char* data, size_t size, int timeoutMs);
/// Reads exactly size bytes within the deadline; false on EOF, error or time-out.
/// *timedOut tells the two apart when given.
bool readExact(int fd, char* data, size_t size, int timeoutMs, bool* timedOut = nullptr);

/// A frame is a u32 length (little-endian) and that many bytes; one frame per
/// connection or hand-over. FrameDecoder is the one reader of frames: the
/// event server feeds it whatever a connection delivers, readFrame() feeds it
/// from a blocking descriptor. A length above the limit, or any byte after the
/// frame, makes it Malformed at once, so an oversized length is refused after
/// four bytes, not after reading what it announces.
class FrameDecoder {
public:
    enum class State { NeedMore, Complete, Malformed };

    explicit FrameDecoder(int maxSize) : _maxSize(maxSize) {}

    /// Takes the next bytes of the connection; returns the new state. Once
    /// Malformed it stays so.
    State feed(const char* data, size_t size);
    State state() const { return _state; }
    /// Bytes still missing for the header or the payload (0 unless NeedMore).
    size_t missing() const;
    /// The payload; meaningful once Complete (it may be empty).
    const QByteArray& payload() const { return _payload; }

private:
    int _maxSize;
    State _state = State::NeedMore;
    unsigned char _header[4] = {};
    size_t _headerFill = 0;
    quint32 _length = 0;
    QByteArray _payload;
};

bool writeFrame(int fd, const QByteArray& payload, int timeoutMs);
/// Reads one frame of at most maxSize bytes; nullopt on EOF, error, time-out or
/// an over-long length.
std::optional<QByteArray> readFrame(int fd, int maxSize, int timeoutMs);

/// Connects to the socket of psn and delivers one frame, then waits for the
/// receiver's i32 status. Returns the status codes of sendEvent().
OSStatus deliver(const QString& dir, const ProcessSerialNumber& psn, const QByteArray& encoded, int timeoutMs);

}  // namespace qn::events::transport
