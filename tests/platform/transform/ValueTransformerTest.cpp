// SPDX-License-Identifier: MIT
#include "transform/ValueTransformer.h"

#include <gtest/gtest.h>

using namespace qn;

namespace {
class Doubler : public ValueTransformer {
public:
    QVariant transformedValue(const QVariant& v) const override { return v.toInt() * 2; }
};
}  // namespace

TEST(ValueTransformer, RegistryByName)
{
    EXPECT_EQ(ValueTransformer::valueTransformerForName("Doubler"), nullptr);
    ValueTransformer::setValueTransformer(std::make_shared<Doubler>(), "Doubler");
    auto t = ValueTransformer::valueTransformerForName("Doubler");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->transformedValue(21).toInt(), 42);
    ValueTransformer::setValueTransformer(nullptr, "Doubler");
    EXPECT_EQ(ValueTransformer::valueTransformerForName("Doubler"), nullptr);
}
