// SPDX-License-Identifier: MIT
#include "events/AppleEvent.h"

#include <QtEndian>
#include <cstring>

namespace qn::events {

namespace {

// Layout (framing integers little-endian; descriptor bytes are opaque):
//   "QNAE" u16 version u16 flags(bit 0: target present)
//   u32 class u32 id i32 returnID i32 transactionID [u32 high u32 low]
//   u32 count, then count x (u32 keyword u32 type u32 length bytes)
// A 'list' descriptor's bytes: u32 count, then count x (u32 type u32 length bytes).
constexpr char kMagic[4] = {'Q', 'N', 'A', 'E'};
constexpr quint16 kVersion = 1;
constexpr quint16 kFlagTarget = 0x0001;

void putU32(QByteArray& out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void putU16(QByteArray& out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

// Reads from bytes it does not own: the array must outlive the reader.
class Reader {
public:
    explicit Reader(const QByteArray&&) = delete;
    explicit Reader(const QByteArray& bytes) : _p(bytes.constData()), _left(size_t(bytes.size())) {}
    bool u16(quint16& v) { return take(&v, 2) && (v = qFromLittleEndian(v), true); }
    bool u32(quint32& v) { return take(&v, 4) && (v = qFromLittleEndian(v), true); }
    bool bytes(QByteArray& out, quint32 n)
    {
        if (n > _left)
            return false;
        out = QByteArray(_p, qsizetype(n));
        _p += n;
        _left -= n;
        return true;
    }
    size_t left() const { return _left; }

private:
    bool take(void* dst, size_t n)
    {
        if (n > _left)
            return false;
        std::memcpy(dst, _p, n);
        _p += n;
        _left -= n;
        return true;
    }
    const char* _p;
    size_t _left;
};

bool listIsWellFormed(const QByteArray& data, int depth, QString* error);

bool descriptorIsWellFormed(FourCharCode type, const QByteArray& data, int depth, QString* error)
{
    if (type != typeAEList)
        return true;
    if (depth >= AppleEvent::kMaxListDepth) {
        if (error)
            *error = QStringLiteral("lists nested too deeply");
        return false;
    }
    return listIsWellFormed(data, depth + 1, error);
}

bool parseList(const QByteArray& data, std::vector<Descriptor>* items, int depth, QString* error)
{
    Reader r(data);
    quint32 count = 0;
    if (!r.u32(count)) {
        if (error)
            *error = QStringLiteral("list without item count");
        return false;
    }
    // Each item needs at least 8 bytes: refuse counts the data cannot hold.
    if (count > r.left() / 8) {
        if (error)
            *error = QStringLiteral("list item count exceeds its data");
        return false;
    }
    for (quint32 i = 0; i < count; ++i) {
        quint32 type = 0, len = 0;
        QByteArray bytes;
        if (!r.u32(type) || !r.u32(len) || !r.bytes(bytes, len)) {
            if (error)
                *error = QStringLiteral("list item runs past the end");
            return false;
        }
        if (!descriptorIsWellFormed(type, bytes, depth, error))
            return false;
        if (items)
            items->emplace_back(type, bytes);
    }
    if (r.left() != 0) {
        if (error)
            *error = QStringLiteral("trailing bytes after list items");
        return false;
    }
    return true;
}

bool listIsWellFormed(const QByteArray& data, int depth, QString* error)
{
    return parseList(data, nullptr, depth, error);
}

int listDepth(const Descriptor& d)
{
    if (d.type() != typeAEList)
        return 0;
    auto items = d.toList();
    if (!items)
        return AppleEvent::kMaxListDepth + 1;
    int deepest = 0;
    for (const Descriptor& item : *items)
        deepest = std::max(deepest, listDepth(item));
    return deepest + 1;
}

}  // namespace

QString fourCCString(FourCharCode code)
{
    QString s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((code >> shift) & 0xff);
        s.append(c >= 0x20 && c < 0x7f ? QChar::fromLatin1(c) : QChar(u'?'));
    }
    return s;
}

Descriptor Descriptor::fromInt32(qint32 value)
{
    return Descriptor(typeSInt32, QByteArray(reinterpret_cast<const char*>(&value), sizeof value));
}

Descriptor Descriptor::fromProcessSerialNumber(const ProcessSerialNumber& psn)
{
    QByteArray b;
    b.append(reinterpret_cast<const char*>(&psn.highLongOfPSN), 4);
    b.append(reinterpret_cast<const char*>(&psn.lowLongOfPSN), 4);
    return Descriptor(typeProcessSerialNumber, b);
}

Descriptor Descriptor::fromUtf8Text(const QString& text)
{
    return Descriptor(typeUTF8Text, text.toUtf8());
}

Descriptor Descriptor::fromList(const std::vector<Descriptor>& items)
{
    QByteArray b;
    putU32(b, quint32(items.size()));
    for (const Descriptor& d : items) {
        putU32(b, d.type());
        putU32(b, quint32(d.data().size()));
        b.append(d.data());
    }
    return Descriptor(typeAEList, b);
}

std::optional<qint32> Descriptor::toInt32() const
{
    if (_type != typeSInt32 || _data.size() != 4)
        return std::nullopt;
    qint32 v;
    std::memcpy(&v, _data.constData(), 4);
    return v;
}

std::optional<ProcessSerialNumber> Descriptor::toProcessSerialNumber() const
{
    if (_type != typeProcessSerialNumber || _data.size() != 8)
        return std::nullopt;
    ProcessSerialNumber psn;
    std::memcpy(&psn.highLongOfPSN, _data.constData(), 4);
    std::memcpy(&psn.lowLongOfPSN, _data.constData() + 4, 4);
    return psn;
}

std::optional<QString> Descriptor::toText() const
{
    if (_type != typeUTF8Text && _type != typeChar)
        return std::nullopt;
    QString s = QString::fromUtf8(_data);
    // Invalid UTF-8 turns into replacement characters: refuse it rather than
    // hand out altered text.
    if (s.toUtf8() != _data)
        return std::nullopt;
    return s;
}

std::optional<std::vector<Descriptor>> Descriptor::toList() const
{
    if (_type != typeAEList)
        return std::nullopt;
    std::vector<Descriptor> items;
    if (!parseList(_data, &items, 1, nullptr))
        return std::nullopt;
    return items;
}

AppleEvent::AppleEvent(FourCharCode eventClass, FourCharCode eventID, std::optional<ProcessSerialNumber> target,
                       qint32 returnID, qint32 transactionID)
    : _class(eventClass), _id(eventID), _returnID(returnID), _transactionID(transactionID), _target(target)
{
}

void AppleEvent::putParam(FourCharCode keyword, const Descriptor& value)
{
    for (auto& [key, d] : _params) {
        if (key == keyword) {
            d = value;
            return;
        }
    }
    _params.emplace_back(keyword, value);
}

std::optional<Descriptor> AppleEvent::param(FourCharCode keyword) const
{
    for (const auto& [key, d] : _params)
        if (key == keyword)
            return d;
    return std::nullopt;
}

QString AppleEvent::name() const
{
    return QStringLiteral("'%1'/'%2'").arg(fourCCString(_class), fourCCString(_id));
}

QByteArray AppleEvent::encode() const
{
    if (_params.size() > size_t(kMaxParameters))
        return {};
    QByteArray out;
    out.append(kMagic, 4);
    putU16(out, kVersion);
    putU16(out, _target ? kFlagTarget : 0);
    putU32(out, _class);
    putU32(out, _id);
    putU32(out, quint32(_returnID));
    putU32(out, quint32(_transactionID));
    if (_target) {
        putU32(out, _target->highLongOfPSN);
        putU32(out, _target->lowLongOfPSN);
    }
    putU32(out, quint32(_params.size()));
    for (const auto& [key, d] : _params) {
        if (d.type() == typeAEList && listDepth(d) > kMaxListDepth)
            return {};
        if (d.data().size() > kMaxEncodedSize)
            return {};
        putU32(out, key);
        putU32(out, d.type());
        putU32(out, quint32(d.data().size()));
        out.append(d.data());
        if (out.size() > kMaxEncodedSize)
            return {};
    }
    return out;
}

std::optional<AppleEvent> AppleEvent::decode(const QByteArray& bytes, QString* error)
{
    auto fail = [error](const char* why) -> std::optional<AppleEvent> {
        if (error)
            *error = QString::fromLatin1(why);
        return std::nullopt;
    };
    if (bytes.size() > kMaxEncodedSize)
        return fail("message too large");
    if (bytes.size() < 4 || std::memcmp(bytes.constData(), kMagic, 4) != 0)
        return fail("not an event message");
    const QByteArray body = bytes.mid(4);  // the reader points into it
    Reader r(body);
    quint16 version = 0, flags = 0;
    if (!r.u16(version) || !r.u16(flags))
        return fail("header runs past the end");
    if (version != kVersion)
        return fail("unsupported message version");
    if ((flags & ~kFlagTarget) != 0)
        return fail("unknown header flags");
    AppleEvent ev;
    quint32 rid = 0, tid = 0;
    if (!r.u32(ev._class) || !r.u32(ev._id) || !r.u32(rid) || !r.u32(tid))
        return fail("header runs past the end");
    ev._returnID = qint32(rid);
    ev._transactionID = qint32(tid);
    if (flags & kFlagTarget) {
        ProcessSerialNumber psn;
        if (!r.u32(psn.highLongOfPSN) || !r.u32(psn.lowLongOfPSN))
            return fail("target address runs past the end");
        ev._target = psn;
    }
    quint32 count = 0;
    if (!r.u32(count))
        return fail("parameter count missing");
    if (count > quint32(kMaxParameters))
        return fail("too many parameters");
    if (count > r.left() / 12)
        return fail("parameter count exceeds the message");
    for (quint32 i = 0; i < count; ++i) {
        quint32 key = 0, type = 0, len = 0;
        QByteArray data;
        if (!r.u32(key) || !r.u32(type) || !r.u32(len) || !r.bytes(data, len))
            return fail("parameter runs past the end");
        if (ev.hasParam(key))
            return fail("duplicate parameter keyword");
        QString why;
        if (!descriptorIsWellFormed(type, data, 0, &why)) {
            if (error)
                *error = why;
            return std::nullopt;
        }
        ev._params.emplace_back(key, Descriptor(type, data));
    }
    if (r.left() != 0)
        return fail("trailing bytes after the last parameter");
    return ev;
}

}  // namespace qn::events
