// SPDX-License-Identifier: MIT
#pragma once
// Turns a connected drive's target mark into the text of the drive table's
// target column: the word for "target device" when the mark reads true, the
// empty string otherwise (also for no value). One-way.
#include "transform/ValueTransformer.h"

#include <QMetaType>

inline constexpr const char* kQNTargetDeviceTransformerName = "QNTargetDeviceTransformer";

class QNTargetDeviceTransformer : public qn::ValueTransformer {
public:
    /// Registers one instance under the name "QNTargetDeviceTransformer".
    static void registerTransformer();
    static QMetaType transformedValueClass() { return QMetaType::fromType<QString>(); }
    static bool allowsReverseTransformation() { return false; }
    QVariant transformedValue(const QVariant& value) const override;
};
