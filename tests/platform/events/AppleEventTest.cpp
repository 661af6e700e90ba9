// SPDX-License-Identifier: MIT
#include "events/AppleEvent.h"

#include <QtEndian>
#include <gtest/gtest.h>

using namespace qn::events;

namespace {

AppleEvent sampleEvent()
{
    AppleEvent e(fourCC("QNcr"), fourCC("SetP"), ProcessSerialNumber{0x01020304, 4242}, 77, 5);
    e.putParam(keyDirectObject, Descriptor::fromProcessSerialNumber({0xdeadbeef, 1234}));
    e.putParam(fourCC("idx "), Descriptor::fromInt32(-3));
    e.putParam(fourCC("text"), Descriptor::fromUtf8Text(QStringLiteral("Grüße <plist/>")));
    e.putParam(fourCC("list"), Descriptor::fromList({Descriptor::fromInt32(1), Descriptor::fromList({})}));
    e.putParam(fourCC("blob"), Descriptor(fourCC("????"), QByteArray("\0\1\2", 3)));
    return e;
}

// Offset of the parameter count in an encoding without target.
constexpr int kCountOffsetNoTarget = 4 + 2 + 2 + 16;

}  // namespace

TEST(AppleEvent, FourCharCodesReadAsTheirCharacters)
{
    EXPECT_EQ(fourCC("aevt"), 0x61657674u);
    EXPECT_EQ(fourCC("----"), 0x2d2d2d2du);
    EXPECT_EQ(fourCCString(fourCC("psn ")), QStringLiteral("psn "));
    EXPECT_EQ(fourCCString(0x41000142u), QStringLiteral("A??B"));
}

TEST(AppleEvent, RoundTripKeepsEveryFieldTypeAndByte)
{
    const AppleEvent e = sampleEvent();
    const QByteArray bytes = e.encode();
    ASSERT_FALSE(bytes.isEmpty());
    QString error;
    const auto back = AppleEvent::decode(bytes, &error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(*back, e);
    EXPECT_EQ(back->eventClass(), fourCC("QNcr"));
    EXPECT_EQ(back->eventID(), fourCC("SetP"));
    EXPECT_EQ(back->returnID(), 77);
    EXPECT_EQ(back->transactionID(), 5);
    ASSERT_TRUE(back->target());
    EXPECT_EQ(back->target()->lowLongOfPSN, 4242u);
    const auto psn = back->param(keyDirectObject)->toProcessSerialNumber();
    ASSERT_TRUE(psn);
    EXPECT_EQ(psn->highLongOfPSN, 0xdeadbeefu);
    EXPECT_EQ(psn->lowLongOfPSN, 1234u);
    EXPECT_EQ(back->param(fourCC("idx "))->toInt32(), -3);
    EXPECT_EQ(back->param(fourCC("text"))->toText(), QStringLiteral("Grüße <plist/>"));
    const auto list = back->param(fourCC("list"))->toList();
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ((*list)[0].toInt32(), 1);
    EXPECT_EQ((*list)[1].toList()->size(), 0u);
    EXPECT_EQ(back->param(fourCC("blob"))->data(), QByteArray("\0\1\2", 3));
    // Parameters keep the order they were put in.
    ASSERT_EQ(back->params().size(), 5u);
    EXPECT_EQ(back->params()[0].first, keyDirectObject);
    EXPECT_EQ(back->params()[4].first, fourCC("blob"));
}

TEST(AppleEvent, QuitEventCarriesAnEmptyListAndNoTarget)
{
    AppleEvent quit(kCoreEventClass, kAEQuitApplication);
    quit.putParam(keyDirectObject, Descriptor::fromList({}));
    const auto back = AppleEvent::decode(quit.encode());
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->target());
    EXPECT_EQ(back->returnID(), kAutoGenerateReturnID);
    EXPECT_EQ(back->transactionID(), kAnyTransactionID);
    const auto direct = back->param(keyDirectObject);
    ASSERT_TRUE(direct);
    EXPECT_EQ(direct->type(), typeAEList);
    EXPECT_EQ(direct->data(), QByteArray(4, '\0'));
    EXPECT_TRUE(direct->toList()->empty());
}

TEST(AppleEvent, EveryTruncationAndAnyTrailingByteIsRefused)
{
    const QByteArray bytes = sampleEvent().encode();
    for (int n = 0; n < bytes.size(); ++n)
        EXPECT_FALSE(AppleEvent::decode(bytes.left(n))) << "prefix of " << n << " bytes accepted";
    QString error;
    EXPECT_FALSE(AppleEvent::decode(bytes + 'x', &error));
    EXPECT_TRUE(error.contains(QStringLiteral("trailing"))) << error.toStdString();
}

TEST(AppleEvent, HeaderViolationsAreRefused)
{
    const QByteArray good = AppleEvent(fourCC("QNTL"), fourCC("Ejct")).encode();
    ASSERT_TRUE(AppleEvent::decode(good));

    struct Change {
        const char* what;
        int at;
        char value;
    };
    for (const Change& c : {Change{"bad magic", 0, 'X'}, Change{"bad version", 4, 2}, Change{"unknown flag", 6, 0x02},
                            Change{"target flag without the 8 target bytes", 6, 0x01}}) {
        QByteArray bad = good;
        bad[c.at] = c.value;
        EXPECT_FALSE(AppleEvent::decode(bad)) << c.what;
    }

    // A parameter count that the remaining bytes cannot hold.
    QByteArray hugeCount = good;
    qToLittleEndian<quint32>(0xffffffffu, hugeCount.data() + kCountOffsetNoTarget);
    EXPECT_FALSE(AppleEvent::decode(hugeCount));
}

TEST(AppleEvent, ParameterViolationsAreRefused)
{
    AppleEvent one(fourCC("QNTL"), fourCC("Ejct"));
    one.putParam(keyDirectObject, Descriptor::fromInt32(1));
    const QByteArray bytes = one.encode();

    // A length running past the end.
    QByteArray longLength = bytes;
    qToLittleEndian<quint32>(5, longLength.data() + kCountOffsetNoTarget + 4 + 8);
    EXPECT_FALSE(AppleEvent::decode(longLength));
    QByteArray hugeLength = bytes;
    qToLittleEndian<quint32>(0xfffffff0u, hugeLength.data() + kCountOffsetNoTarget + 4 + 8);
    EXPECT_FALSE(AppleEvent::decode(hugeLength));

    // The same keyword twice.
    QByteArray twice = bytes.left(kCountOffsetNoTarget);
    char count[4];
    qToLittleEndian<quint32>(2, count);
    twice.append(count, 4);
    const QByteArray param = bytes.mid(kCountOffsetNoTarget + 4);
    twice.append(param).append(param);
    QString error;
    EXPECT_FALSE(AppleEvent::decode(twice, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("duplicate"))) << error.toStdString();

    // A list whose item count exceeds its data, and one with trailing bytes.
    AppleEvent badList(fourCC("QNTL"), fourCC("Ejct"));
    QByteArray listData(4, '\0');
    qToLittleEndian<quint32>(3, listData.data());
    badList.putParam(keyDirectObject, Descriptor(typeAEList, listData));
    EXPECT_FALSE(AppleEvent::decode(badList.encode()));
    badList.putParam(keyDirectObject, Descriptor(typeAEList, QByteArray(5, '\0')));
    EXPECT_FALSE(AppleEvent::decode(badList.encode()));
}

TEST(AppleEvent, NestingAndCountLimitsHoldOnBothSides)
{
    Descriptor deep = Descriptor::fromList({});
    for (int i = 1; i < AppleEvent::kMaxListDepth; ++i)
        deep = Descriptor::fromList({deep});
    AppleEvent ok(fourCC("QNts"), fourCC("Deep"));
    ok.putParam(keyDirectObject, deep);
    ASSERT_FALSE(ok.encode().isEmpty());
    EXPECT_TRUE(AppleEvent::decode(ok.encode()));

    AppleEvent tooDeep(fourCC("QNts"), fourCC("Deep"));
    tooDeep.putParam(keyDirectObject, Descriptor::fromList({deep}));
    EXPECT_TRUE(tooDeep.encode().isEmpty());
    // Built by hand, the decoder refuses it as well.
    QByteArray handMade = ok.encode();
    const Descriptor deeper = Descriptor::fromList({deep});
    handMade = handMade.left(kCountOffsetNoTarget + 4);
    char w[4];
    for (quint32 v : {keyDirectObject, typeAEList, quint32(deeper.data().size())}) {
        qToLittleEndian(v, w);
        handMade.append(w, 4);
    }
    handMade.append(deeper.data());
    EXPECT_FALSE(AppleEvent::decode(handMade));

    AppleEvent many(fourCC("QNts"), fourCC("Many"));
    for (int i = 0; i <= AppleEvent::kMaxParameters; ++i)
        many.putParam(quint32(i + 1), Descriptor::fromInt32(i));
    EXPECT_TRUE(many.encode().isEmpty());
}

TEST(AppleEvent, TypedAccessorsRefuseOtherTypesAndSizes)
{
    EXPECT_FALSE(Descriptor(typeSInt32, QByteArray(3, '\0')).toInt32());
    EXPECT_FALSE(Descriptor(typeSInt32, QByteArray(5, '\0')).toInt32());
    EXPECT_FALSE(Descriptor::fromInt32(7).toProcessSerialNumber());
    EXPECT_FALSE(Descriptor(typeProcessSerialNumber, QByteArray(7, '\0')).toProcessSerialNumber());
    EXPECT_FALSE(Descriptor::fromInt32(7).toText());
    EXPECT_FALSE(Descriptor(typeUTF8Text, QByteArray("\xff\xfe", 2)).toText());
    EXPECT_EQ(Descriptor(typeChar, QByteArray("plain")).toText(), QStringLiteral("plain"));
    EXPECT_FALSE(Descriptor::fromInt32(7).toList());
    // The direct parameter keeps its type and bytes exactly.
    const Descriptor odd(fourCC("enum"), QByteArray("\x00\x01\x02\x03\x04", 5));
    AppleEvent e(fourCC("QNts"), fourCC("Keep"));
    e.putParam(keyDirectObject, odd);
    EXPECT_EQ(AppleEvent::decode(e.encode())->param(keyDirectObject), odd);
}

TEST(AppleEvent, PutParamReplaces)
{
    AppleEvent e(fourCC("QNTL"), fourCC("Ejct"));
    e.putParam(keyDirectObject, Descriptor::fromInt32(1));
    e.putParam(keyDirectObject, Descriptor::fromInt32(2));
    EXPECT_EQ(e.params().size(), 1u);
    EXPECT_EQ(e.param(keyDirectObject)->toInt32(), 2);
}
