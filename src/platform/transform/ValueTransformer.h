// SPDX-License-Identifier: MIT
// src/platform/transform: named value transformers.
#pragma once
// Named one-way value transformers, registered once and found by name (the
// setup window's table columns use them).
#include <QString>
#include <QVariant>
#include <memory>

namespace qn {

class ValueTransformer {
public:
    virtual ~ValueTransformer() = default;
    virtual QVariant transformedValue(const QVariant& value) const = 0;

    /// Registers (or replaces, or with null removes) the transformer for a name.
    static void setValueTransformer(std::shared_ptr<ValueTransformer> transformer, const QString& name);
    static std::shared_ptr<ValueTransformer> valueTransformerForName(const QString& name);
};

}  // namespace qn
