// SPDX-License-Identifier: MIT
#include "QNDevice.h"

#include <gtest/gtest.h>

namespace {

QNDevicePtr device(const QByteArray& guid, const QString& vendor = {})
{
    auto d = std::make_shared<QNDevice>();
    d->setGUIDData(guid);
    d->setVendorName(vendor);
    return d;
}

}  // namespace

TEST(QNDevice, NewRecordIsEmpty)
{
    const QNDevice d;
    EXPECT_TRUE(d.GUIDData().isEmpty());
    EXPECT_TRUE(d.vendorName().isEmpty());
    EXPECT_TRUE(d.productName().isEmpty());
    EXPECT_TRUE(d.productRevisionLevel().isEmpty());
    EXPECT_TRUE(d.physicalInterconnect().isEmpty());
    EXPECT_EQ(d.cdFeatures(), 0u);
    EXPECT_EQ(d.dvdFeatures(), 0u);
}

TEST(QNDevice, EqualExactlyWhenIdentityBytesAreEqual)
{
    // One record from an arrival (names), one from a removal (identity only).
    const QNDevicePtr arrived = device(QByteArray("\x01\x02\x03\x00\x05", 5), "HL-DT-ST");
    arrived->setCDFeatures(7);
    const QNDevicePtr removed = device(QByteArray("\x01\x02\x03\x00\x05", 5));
    EXPECT_TRUE(arrived->isEqual(*removed));
    EXPECT_TRUE(removed->isEqual(*arrived));
    // Same names, other identity; a prefix of the identity is another one too.
    EXPECT_FALSE(arrived->isEqual(*device(QByteArray("\x01\x02\x03\x00\x06", 5), "HL-DT-ST")));
    EXPECT_FALSE(arrived->isEqual(*device(QByteArray("\x01\x02\x03", 3), "HL-DT-ST")));
    // An empty identity matches nothing, not even another empty one.
    const QNDevicePtr anonymous = device({}, "HL-DT-ST");
    EXPECT_FALSE(anonymous->isEqual(*device({}, "HL-DT-ST")));
    EXPECT_FALSE(anonymous->isEqual(*anonymous));
    EXPECT_FALSE(arrived->isEqual(*anonymous));
}

TEST(QNDevice, OtherKindsOfObjectAreNeverEqual)
{
    const QNDevicePtr d = device("ABCDEFGH");
    EXPECT_TRUE(d->isEqual(QVariant::fromValue(device("ABCDEFGH"))));
    EXPECT_FALSE(d->isEqual(QVariant(QByteArray("ABCDEFGH"))));
    EXPECT_FALSE(d->isEqual(QVariant(QStringLiteral("ABCDEFGH"))));
    EXPECT_FALSE(d->isEqual(QVariant()));
    EXPECT_FALSE(d->isEqual(QVariant::fromValue(QNDevicePtr())));
    EXPECT_FALSE(d->isEqual(QVariant::fromValue(QNDeviceList{device("ABCDEFGH")})));
}

TEST(QNDevice, GUIDStringIsTheFirst28CharactersOfAZeroPaddedUUID)
{
    EXPECT_EQ(device(QByteArray::fromHex("0102030a0b0c0d0e"))->GUIDString(),
              std::optional<QString>("0102030A-0B0C-0D0E-0000-0000"));
    EXPECT_EQ(device(QByteArray::fromHex("00112233445566778899aabbccddeeff"))->GUIDString(),
              std::optional<QString>("00112233-4455-6677-8899-AABB"));
    // Longer identities print from their first 16 bytes only.
    EXPECT_EQ(device(QByteArray::fromHex("00112233445566778899aabbccddeeff0102030405"))->GUIDString(),
              std::optional<QString>("00112233-4455-6677-8899-AABB"));
    EXPECT_EQ(device("\x7f")->GUIDString(), std::optional<QString>("7F000000-0000-0000-0000-0000"));
    EXPECT_EQ(device({})->GUIDString(), std::nullopt);
}
