// SPDX-License-Identifier: MIT
#pragma once
// Turns a Boolean into the running program's word for yes or no, for table
// columns. One-way: there is no reverse transformation.
#include "transform/ValueTransformer.h"

#include <QMetaType>

/// Localization keys of the two words; each constant's value is its key.
extern const char* const kQNYes;
extern const char* const kQNNo;

class QNBoolTransformer : public qn::ValueTransformer {
public:
    /// Registers one instance under the name "QNBoolTransformer".
    static void registerTransformer();
    /// The type of every transformed value: a string.
    static QMetaType transformedValueClass() { return QMetaType::fromType<QString>(); }
    static bool allowsReverseTransformation() { return false; }

    /// The text for kQNYes when the value reads as true, otherwise (also for
    /// no value) the text for kQNNo, from the program's own string table.
    QVariant transformedValue(const QVariant& value) const override;
};
