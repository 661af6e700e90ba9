// SPDX-License-Identifier: MIT
// src/platform/events: events between the programs, their transport, launching, and watching processes end.
#pragma once
// Apple-event messages: class, ID, return ID, transaction ID, an optional
// target address and parameters keyed by keyword, each a typed descriptor
// (type code + bytes). Events serialise to a small versioned binary form whose
// decoder checks every length and refuses missing or trailing bytes.
#include "events/EventTypes.h"
#include "events/ProcessSerialNumber.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

namespace qn::events {

/// A typed value: a type code and its bytes, kept exactly as given.
class Descriptor {
public:
    Descriptor() = default;  // type 'null', no bytes
    Descriptor(FourCharCode type, QByteArray data) : _type(type), _data(std::move(data)) {}

    /// 'long': signed 32-bit integer, host byte order.
    static Descriptor fromInt32(qint32 value);
    /// 'psn ': 8 bytes, highLongOfPSN then lowLongOfPSN, host byte order.
    static Descriptor fromProcessSerialNumber(const ProcessSerialNumber& psn);
    /// 'utf8': UTF-8 bytes without terminator.
    static Descriptor fromUtf8Text(const QString& text);
    /// 'list' holding these descriptors (empty for the empty list).
    static Descriptor fromList(const std::vector<Descriptor>& items);

    FourCharCode type() const { return _type; }
    const QByteArray& data() const { return _data; }

    /// The value when the type is 'long' and there are exactly 4 bytes.
    std::optional<qint32> toInt32() const;
    /// The value when the type is 'psn ' and there are exactly 8 bytes.
    std::optional<ProcessSerialNumber> toProcessSerialNumber() const;
    /// The text when the type is 'utf8' (valid UTF-8) or 'TEXT' (read as
    /// UTF-8 as well); nullopt for other types or invalid UTF-8.
    std::optional<QString> toText() const;
    /// The items when the type is 'list' and its bytes decode completely.
    std::optional<std::vector<Descriptor>> toList() const;

    friend bool operator==(const Descriptor&, const Descriptor&) = default;

private:
    FourCharCode _type = typeNull;
    QByteArray _data;
};

class AppleEvent {
public:
    /// Largest encoded event accepted anywhere (bytes).
    static constexpr int kMaxEncodedSize = 1 << 20;
    /// Most parameters one event may carry.
    static constexpr int kMaxParameters = 256;
    /// Deepest nesting of lists inside a parameter.
    static constexpr int kMaxListDepth = 8;

    AppleEvent() = default;
    AppleEvent(FourCharCode eventClass, FourCharCode eventID,
               std::optional<ProcessSerialNumber> target = std::nullopt,
               qint32 returnID = kAutoGenerateReturnID, qint32 transactionID = kAnyTransactionID);

    FourCharCode eventClass() const { return _class; }
    FourCharCode eventID() const { return _id; }
    /// -1 until sent; the sender then assigns a generated ID.
    qint32 returnID() const { return _returnID; }
    void setReturnID(qint32 id) { _returnID = id; }
    qint32 transactionID() const { return _transactionID; }
    const std::optional<ProcessSerialNumber>& target() const { return _target; }
    void setTarget(std::optional<ProcessSerialNumber> target) { _target = target; }

    /// Sets (or replaces) the parameter with this keyword.
    void putParam(FourCharCode keyword, const Descriptor& value);
    /// The parameter with this keyword, nullopt when absent.
    std::optional<Descriptor> param(FourCharCode keyword) const;
    bool hasParam(FourCharCode keyword) const { return param(keyword).has_value(); }
    /// Parameters in the order they were first put.
    const std::vector<std::pair<FourCharCode, Descriptor>>& params() const { return _params; }

    /// The process that sent this event, filled in by the receiving side from
    /// the connection's credentials (not part of the encoding). Null for an
    /// event that did not come over a connection.
    ProcessSerialNumber sender() const { return _sender; }
    void setSender(ProcessSerialNumber psn) { _sender = psn; }

    /// The versioned binary form. Empty when the event exceeds the limits
    /// above (too many parameters, lists nested too deeply, too large).
    QByteArray encode() const;
    /// Parses the binary form. nullopt (with a reason in *error) for an
    /// unknown magic or version, any length that runs past the end, trailing
    /// bytes, duplicate keywords, a list parameter that does not decode, or a
    /// violation of the limits above.
    static std::optional<AppleEvent> decode(const QByteArray& bytes, QString* error = nullptr);

    /// "'aevt'/'quit'" for messages.
    QString name() const;

    friend bool operator==(const AppleEvent& a, const AppleEvent& b)
    {
        return a._class == b._class && a._id == b._id && a._returnID == b._returnID
            && a._transactionID == b._transactionID && a._target == b._target
            && a._params == b._params;
    }

private:
    FourCharCode _class = 0;
    FourCharCode _id = 0;
    qint32 _returnID = kAutoGenerateReturnID;
    qint32 _transactionID = kAnyTransactionID;
    std::optional<ProcessSerialNumber> _target;
    std::vector<std::pair<FourCharCode, Descriptor>> _params;
    ProcessSerialNumber _sender;
};

}  // namespace qn::events
