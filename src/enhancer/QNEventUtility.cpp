// SPDX-License-Identifier: MIT
#include "QNEventUtility.h"

#include <QGuiApplication>

namespace {

bool keyMapBit(const std::array<quint8, 16>& keyMap, unsigned keyCode)
{
    return (keyMap[keyCode >> 3] >> (7 - (keyCode & 7))) & 1;
}

}  // namespace

quint32 QNEventUtility::modifierKeyStatusForKeyMap(const std::array<quint8, 16>& keyMap)
{
    static constexpr struct {
        unsigned keyCode;
        quint32 bit;
    } keys[] = {
        {0x39, alphaLockBit}, {0x38, shiftKeyBit}, {0x3B, controlKeyBit}, {0x3A, optionKeyBit},
        {0x37, commandKeyBit}, {0x47, numericPadBit}, {0x72, helpKeyBit}, {0x3F, functionKeyBit},
    };
    quint32 status = 0;
    for (const auto& key : keys) {
        if (keyMapBit(keyMap, key.keyCode))
            status |= key.bit;
    }
    return status;
}

quint32 QNEventUtility::modifierKeyStatusForQtModifiers(quint32 qtModifiers)
{
    quint32 status = 0;
    if (qtModifiers & Qt::ShiftModifier)
        status |= shiftKeyBit;
    if (qtModifiers & Qt::ControlModifier)
        status |= controlKeyBit;
    if (qtModifiers & Qt::AltModifier)
        status |= optionKeyBit;
    if (qtModifiers & Qt::MetaModifier)
        status |= commandKeyBit;
    if (qtModifiers & Qt::KeypadModifier)
        status |= numericPadBit;
    return status;
}

quint32 QNEventUtility::modifierKeyStatus()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return 0;
    return modifierKeyStatusForQtModifiers(quint32(QGuiApplication::queryKeyboardModifiers().toInt()));
}
