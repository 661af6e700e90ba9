// SPDX-License-Identifier: MIT
#include "QNEnhancer.h"

#include "defaults/UserDefaults.h"
#include "strings/LocalizedString.h"

#include <QGuiApplication>
#include <QPalette>

namespace {

// The framework's own string table, embedded in this library, so error texts
// do not depend on the tables of the program that uses the framework.
QString frameworkString(const char* key)
{
    return qn::tableString(QStringLiteral("QNEnhancer"), key);
}

}  // namespace

QString QNError::localizedDescription() const
{
    const QString text = userInfo.value(NSLocalizedDescriptionKey).toString();
    if (!text.isEmpty())
        return text;
    return frameworkString("UnknownError").arg(domain).arg(code);
}

std::optional<QNError> QNEnhancer::buildErrorWithCode(qint32 code)
{
    if (code == 0)
        return std::nullopt;
    QVariantMap info;
    auto describe = [&](const char* description, const char* suggestion) {
        info.insert(NSLocalizedDescriptionKey, frameworkString(description));
        if (suggestion)
            info.insert(NSLocalizedRecoverySuggestionErrorKey, frameworkString(suggestion));
    };
    using enum QNErrorCode;
    switch (QNErrorCode(code)) {
    case kQNFileNotFoundErr: describe("FileNotFoundErr", "FileNotFoundErrInfo"); break;
    case kQNWriteErr: describe("WriteErr", "WriteErrInfo"); break;
    case kQNFileDupErr: describe("FileDupErr", "FileDupErrInfo"); break;
    case kQNFileIsDamagedErr: describe("FileIsDamaged", nullptr); break;
    case kQNFileIsDamagedOrInvalidKeyErr: describe("FileIsDamagedOrInvalidKey", nullptr); break;
    }
    return QNError{kQNErrorDomain, code, info};
}

std::optional<QNError> QNEnhancer::buildErrorWithCode(qint32 code, const QString& domain)
{
    if (domain == kQNErrorDomain)
        return buildErrorWithCode(code);
    return QNError{domain, code, {}};
}

std::optional<QColor> QNEnhancer::colorFromHighlightDefault(const QString& value)
{
    // Three numbers, each after optional blanks; whatever follows is a colour
    // name and is ignored.
    const QStringView text(value);
    qsizetype pos = 0;
    double rgb[3];
    for (double& component : rgb) {
        while (pos < text.size() && text.at(pos).isSpace())
            ++pos;
        qsizetype end = pos;
        if (end < text.size() && (text.at(end) == u'+' || text.at(end) == u'-'))
            ++end;
        const qsizetype digitsStart = end;
        bool digits = false;
        while (end < text.size() && text.at(end).isDigit()) {
            ++end;
            digits = true;
        }
        if (end < text.size() && text.at(end) == u'.') {
            ++end;
            while (end < text.size() && text.at(end).isDigit()) {
                ++end;
                digits = true;
            }
        }
        if (!digits || end == digitsStart)
            return std::nullopt;
        bool ok = false;
        component = text.mid(pos, end - pos).toDouble(&ok);
        if (!ok)
            return std::nullopt;
        pos = end;
    }
    QColor color = QColor::fromRgbF(float(qBound(0.0, rgb[0], 1.0)), float(qBound(0.0, rgb[1], 1.0)),
                                    float(qBound(0.0, rgb[2], 1.0)), 1.0f);
    return color;
}

std::optional<QColor> QNEnhancer::hiliteColor()
{
    const QVariant stored = qn::UserDefaults(globalDomain()).objectForKey(QStringLiteral("AppleHighlightColor"));
    if (!stored.isValid()) {
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            return std::nullopt;
        QColor c = QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight);
        c.setAlphaF(1.0f);
        return c;
    }
    if (stored.typeId() != QMetaType::QString)
        return std::nullopt;
    return colorFromHighlightDefault(stored.toString());
}

QSet<char32_t> QNEnhancer::newlineCharacterSet()
{
    QSet<char32_t> set;
    for (char32_t c = 0x0A; c < 0x0A + 4; ++c)
        set.insert(c);
    set.insert(0x85);
    return set;
}
