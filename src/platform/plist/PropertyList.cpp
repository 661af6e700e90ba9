// SPDX-License-Identifier: MIT
#include "plist/PropertyList.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QTimeZone>
#include <plist/plist.h>

#include <cmath>
#include <limits>

namespace qn::plist {
namespace {

// Property-list dates count seconds from 2001-01-01 00:00:00 UTC.
constexpr qint64 kAppleEpochOffset = 978307200;
// Deeper nesting than this is refused rather than risking the stack.
constexpr int kMaxDepth = 512;

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

struct PlistDeleter {
    void operator()(plist_t p) const
    {
        if (p)
            plist_free(p);
    }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

bool isNegativeInteger(plist_t node)
{
    plist_t copy = plist_copy(node);
    char* xml = nullptr;
    uint32_t len = 0;
    plist_to_xml(copy, &xml, &len);
    plist_free(copy);
    const bool negative = xml && QByteArray(xml, qsizetype(len)).contains("<integer>-");
    if (xml)
        plist_to_xml_free(xml);
    return negative;
}

std::optional<QVariant> toVariant(plist_t node, int depth, QString* error)
{
    if (depth > kMaxDepth) {
        setError(error, QStringLiteral("property list nested too deeply"));
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return QVariant(b != 0);
    }
    case PLIST_UINT: {
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        if (v <= uint64_t(std::numeric_limits<qint64>::max()))
            return QVariant(qint64(v));
        // Above INT64_MAX the bits are either a negative number or a large
        // unsigned one; libplist 2.2 only tells them apart in its XML output.
        return isNegativeInteger(node) ? QVariant(qint64(v)) : QVariant(quint64(v));
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return QVariant(d);
    }
    case PLIST_STRING: {
        uint64_t len = 0;
        const char* s = plist_get_string_ptr(node, &len);
        return QVariant(QString::fromUtf8(s ? s : "", s ? qsizetype(len) : 0));
    }
    case PLIST_KEY: {
        char* s = nullptr;
        plist_get_key_val(node, &s);
        QString out = QString::fromUtf8(s ? s : "");
        free(s);
        return QVariant(out);
    }
    case PLIST_DATA: {
        char* d = nullptr;
        uint64_t len = 0;
        plist_get_data_val(node, &d, &len);
        QByteArray out(d ? d : "", qsizetype(len));
        free(d);
        return QVariant(out);
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        qint64 ms = (qint64(sec) + kAppleEpochOffset) * 1000 + usec / 1000;
        return QVariant(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC));
    }
    case PLIST_UID: {
        uint64_t v = 0;
        plist_get_uid_val(node, &v);
        return QVariant::fromValue(Uid{v});
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t n = plist_array_get_size(node);
        list.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
            auto v = toVariant(plist_array_get_item(node, i), depth + 1, error);
            if (!v)
                return std::nullopt;
            list.append(*v);
        }
        return QVariant(list);
    }
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, it, &key, &item);
            if (!item) {
                free(key);
                break;
            }
            auto v = toVariant(item, depth + 1, error);
            QString k = QString::fromUtf8(key ? key : "");
            free(key);
            if (!v) {
                free(it);
                return std::nullopt;
            }
            map.insert(k, *v);
        }
        free(it);
        return QVariant(map);
    }
    default:
        setError(error, QStringLiteral("unsupported property-list node"));
        return std::nullopt;
    }
}

// libplist 2.2 has no constructor for unsigned integers above INT64_MAX; its
// XML reader makes the right node for them.
plist_t newUnsigned(quint64 v)
{
    if (v <= quint64(std::numeric_limits<qint64>::max()))
        return plist_new_uint(v);
    const QByteArray xml = "<?xml version=\"1.0\"?><plist version=\"1.0\"><integer>"
        + QByteArray::number(v) + "</integer></plist>";
    plist_t node = nullptr;
    plist_from_xml(xml.constData(), uint32_t(xml.size()), &node);
    return node ? node : plist_new_uint(v);
}

plist_t fromVariant(const QVariant& value, int depth, QString* error)
{
    if (depth > kMaxDepth) {
        setError(error, QStringLiteral("value nested too deeply"));
        return nullptr;
    }
    if (value.metaType() == QMetaType::fromType<Uid>())
        return plist_new_uid(value.value<Uid>().value);
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return plist_new_bool(value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
        // Negative values are stored as their 64-bit two's complement, which is
        // how property lists encode signed integers.
        return plist_new_uint(uint64_t(value.toLongLong()));
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return newUnsigned(value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return plist_new_real(value.toDouble());
    case QMetaType::QString:
        return plist_new_string(value.toString().toUtf8().constData());
    case QMetaType::QByteArray: {
        const QByteArray b = value.toByteArray();
        return plist_new_data(b.constData(), uint64_t(b.size()));
    }
    case QMetaType::QDateTime: {
        const qint64 ms = value.toDateTime().toMSecsSinceEpoch() - kAppleEpochOffset * 1000;
        qint64 sec = ms / 1000;
        qint64 rem = ms % 1000;
        if (rem < 0) {
            rem += 1000;
            sec -= 1;
        }
        return plist_new_date(int32_t(sec), int32_t(rem * 1000));
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        plist_t arr = plist_new_array();
        for (const QVariant& item : value.toList()) {
            plist_t child = fromVariant(item, depth + 1, error);
            if (!child) {
                plist_free(arr);
                return nullptr;
            }
            plist_array_append_item(arr, child);
        }
        return arr;
    }
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            plist_t child = fromVariant(it.value(), depth + 1, error);
            if (!child) {
                plist_free(dict);
                return nullptr;
            }
            plist_dict_set_item(dict, it.key().toUtf8().constData(), child);
        }
        return dict;
    }
    default:
        setError(error, QStringLiteral("no property-list form for type %1")
                            .arg(QString::fromLatin1(value.metaType().name() ? value.metaType().name() : "invalid")));
        return nullptr;
    }
}

bool looksBinary(const QByteArray& bytes)
{
    return bytes.startsWith("bplist00");
}

quint64 readBigEndian(const uchar* p, int size)
{
    quint64 v = 0;
    for (int i = 0; i < size; ++i)
        v = (v << 8) | p[i];
    return v;
}

// libplist 2.2 aborts (an assertion) on strings with an embedded NUL. Such
// strings have no use in our files, so binary lists holding one are refused
// before libplist sees them. Only the object table is walked; everything
// else about the structure is left to libplist's own checks.
bool binaryHasNulString(const QByteArray& bytes)
{
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    const quint64 size = quint64(bytes.size());
    if (size < 8 + 32)
        return false;  // too short to be valid; libplist refuses it
    const uchar* trailer = data + size - 32;
    const int offsetSize = trailer[6];
    const quint64 count = readBigEndian(trailer + 8, 8);
    const quint64 tableOffset = readBigEndian(trailer + 24, 8);
    if (offsetSize < 1 || offsetSize > 8 || tableOffset >= size || count > size
        || count * quint64(offsetSize) > size - tableOffset)
        return false;
    for (quint64 i = 0; i < count; ++i) {
        const quint64 off = readBigEndian(data + tableOffset + i * quint64(offsetSize), offsetSize);
        if (off >= size)
            continue;
        const uchar marker = data[off];
        const uchar kind = marker >> 4;
        if (kind != 0x5 && kind != 0x6)
            continue;
        quint64 len = marker & 0x0f;
        quint64 start = off + 1;
        if (len == 0x0f) {
            if (start >= size || (data[start] >> 4) != 0x1)
                continue;
            const int intSize = 1 << (data[start] & 0x0f);
            if (intSize > 8 || start + 1 + quint64(intSize) > size)
                continue;
            len = readBigEndian(data + start + 1, intSize);
            start += 1 + quint64(intSize);
        }
        const quint64 unit = kind == 0x5 ? 1 : 2;
        if (len > size || start + len * unit > size)
            continue;
        for (quint64 j = 0; j < len; ++j) {
            const uchar* c = data + start + j * unit;
            if (unit == 1 ? c[0] == 0 : (c[0] == 0 && c[1] == 0))
                return true;
        }
    }
    return false;
}

// The XML reader turns character references into bytes; &#0; would again be
// an embedded NUL.
bool xmlHasNulReference(const QByteArray& text)
{
    static const QRegularExpression nulRef(QStringLiteral("&#(x0*|0+);"), QRegularExpression::CaseInsensitiveOption);
    return text.contains("&#") && nulRef.match(QString::fromLatin1(text)).hasMatch();
}

}  // namespace

std::optional<QVariant> read(const QByteArray& bytes, QString* error)
{
    if (bytes.isEmpty()) {
        setError(error, QStringLiteral("empty property list"));
        return std::nullopt;
    }
    if (bytes.size() > std::numeric_limits<int32_t>::max() / 2) {
        setError(error, QStringLiteral("property list too large"));
        return std::nullopt;
    }
    plist_t root = nullptr;
    if (looksBinary(bytes)) {
        if (binaryHasNulString(bytes)) {
            setError(error, QStringLiteral("property list holds a string with a NUL character"));
            return std::nullopt;
        }
        plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &root);
    } else {
        // libplist's XML reader wants a terminating NUL inside the buffer.
        QByteArray text = bytes;
        const qsizetype nul = text.indexOf('\0');
        if (nul >= 0) {
            setError(error, QStringLiteral("property list text contains a NUL byte"));
            return std::nullopt;
        }
        if (xmlHasNulReference(text)) {
            setError(error, QStringLiteral("property list holds a string with a NUL character"));
            return std::nullopt;
        }
        if (!text.trimmed().startsWith('<')) {
            setError(error, QStringLiteral("not a property list"));
            return std::nullopt;
        }
        plist_from_xml(text.constData(), uint32_t(text.size()), &root);
    }
    PlistPtr guard(root);
    if (!root) {
        setError(error, QStringLiteral("malformed property list"));
        return std::nullopt;
    }
    return toVariant(root, 0, error);
}

std::optional<QVariant> readFile(const QString& path, QString* error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("cannot open %1: %2").arg(path, f.errorString()));
        return std::nullopt;
    }
    return read(f.readAll(), error);
}

QByteArray write(const QVariant& value, Format format, QString* error)
{
    PlistPtr root(fromVariant(value, 0, error));
    if (!root)
        return {};
    char* out = nullptr;
    uint32_t len = 0;
    if (format == Format::Xml) {
        plist_to_xml(root.get(), &out, &len);
        QByteArray result(out ? out : "", qsizetype(len));
        if (out)
            plist_to_xml_free(out);
        return result;
    }
    plist_to_bin(root.get(), &out, &len);
    QByteArray result(out ? out : "", qsizetype(len));
    if (out)
        plist_to_bin_free(out);
    if (result.isEmpty())
        setError(error, QStringLiteral("binary serialisation failed"));
    return result;
}

}  // namespace qn::plist
