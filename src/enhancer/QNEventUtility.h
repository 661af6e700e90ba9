// SPDX-License-Identifier: MIT
#pragma once
// Which modifier keys are down right now, as one word in the classic event
// modifier-flag layout: bit 16 caps lock, 17 shift, 18 control, 19 option,
// 20 command, 21 numeric pad, 22 help, 23 function; all other bits zero.
#include <QtGlobal>
#include <array>

class QNEventUtility {
public:
    QNEventUtility() = delete;

    enum : quint32 {
        alphaLockBit = 1u << 16,
        shiftKeyBit = 1u << 17,
        controlKeyBit = 1u << 18,
        optionKeyBit = 1u << 19,
        commandKeyBit = 1u << 20,
        numericPadBit = 1u << 21,
        helpKeyBit = 1u << 22,
        functionKeyBit = 1u << 23,
    };

    /// The modifier word for the keyboard of the current display. On Linux the
    /// state comes from Qt: Shift -> shift, Ctrl -> control, Alt -> option,
    /// Super/Meta -> command, a keypad key -> numeric pad. Qt does not report
    /// Caps Lock, Help or Fn, so those bits stay clear here. Zero without a
    /// GUI application.
    static quint32 modifierKeyStatus();

    /// The word for a 128-bit key map (16 bytes, bit n of the map is bit
    /// 7 - n % 8 of byte n / 8), testing the key codes Caps Lock 0x39,
    /// Shift 0x38, Control 0x3B, Option 0x3A, Command 0x37, keypad Clear 0x47,
    /// Help 0x72 and Function 0x3F only.
    static quint32 modifierKeyStatusForKeyMap(const std::array<quint8, 16>& keyMap);

    /// The word for a set of Qt keyboard modifiers (values of Qt::KeyboardModifier).
    static quint32 modifierKeyStatusForQtModifiers(quint32 qtModifiers);
};
