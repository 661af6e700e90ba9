// SPDX-License-Identifier: MIT
#include "QNEnhancer.h"
#include "QNEventUtility.h"
#include "QNPropertyFile.h"

#include "TestSupport.h"
#include "defaults/UserDefaults.h"

#include <QGuiApplication>
#include <QPalette>
#include <gtest/gtest.h>

TEST(QNEnhancer, ErrorCodeTableFillsTheUserInfo)
{
    EXPECT_FALSE(QNEnhancer::buildErrorWithCode(0));

    using enum QNErrorCode;
    for (QNErrorCode code : {kQNFileNotFoundErr, kQNWriteErr, kQNFileDupErr}) {
        const auto e = QNEnhancer::buildErrorWithCode(code);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->domain, "com.qnlab.QNErrorDomain");
        EXPECT_EQ(e->code, qint32(code));
        EXPECT_EQ(e->userInfo.size(), 2) << qint32(code);
        EXPECT_TRUE(e->userInfo.contains(NSLocalizedDescriptionKey));
        EXPECT_TRUE(e->userInfo.contains(NSLocalizedRecoverySuggestionErrorKey));
    }
    for (QNErrorCode code : {kQNFileIsDamagedErr, kQNFileIsDamagedOrInvalidKeyErr}) {
        const auto e = QNEnhancer::buildErrorWithCode(code);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->userInfo.keys(), QStringList{NSLocalizedDescriptionKey}) << qint32(code);
    }
    const auto other = QNEnhancer::buildErrorWithCode(7);
    ASSERT_TRUE(other);
    EXPECT_EQ(other->domain, kQNErrorDomain);
    EXPECT_EQ(other->code, 7);
    EXPECT_TRUE(other->userInfo.isEmpty());
}

TEST(QNEnhancer, ErrorTextsComeFromTheFrameworksOwnTable)
{
    // The program's tables are not involved: this test program installs none.
    const auto e = QNEnhancer::buildErrorWithCode(QNErrorCode::kQNFileDupErr);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->localizedDescription(), "A file with the same name already exists.");
    EXPECT_NE(e->userInfo.value(NSLocalizedRecoverySuggestionErrorKey).toString(), "FileDupErrInfo");
    EXPECT_EQ(QNEnhancer::buildErrorWithCode(QNErrorCode::kQNFileIsDamagedOrInvalidKeyErr)->localizedDescription(),
              "The file is damaged or the key is not the right one.");
}

TEST(QNEnhancer, ForeignDomainsCarryOnlyDomainAndCode)
{
    const auto e = QNEnhancer::buildErrorWithCode(-60006, NSOSStatusErrorDomain);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->domain, NSOSStatusErrorDomain);
    EXPECT_EQ(e->code, -60006);
    EXPECT_TRUE(e->userInfo.isEmpty());
    // The framework's own domain goes through the table.
    EXPECT_EQ(QNEnhancer::buildErrorWithCode(100, kQNErrorDomain), QNEnhancer::buildErrorWithCode(100));
    EXPECT_FALSE(QNEnhancer::buildErrorWithCode(0, kQNErrorDomain));
}

// QColor keeps 16 bits per component.
constexpr double kColorTolerance = 1.0 / 65535;

TEST(QNEnhancer, HighlightDefaultParsing)
{
    const auto c = QNEnhancer::colorFromHighlightDefault(QStringLiteral("0.500000 0.250000 1.000000 Purple"));
    ASSERT_TRUE(c);
    EXPECT_NEAR(c->redF(), 0.5, kColorTolerance);
    EXPECT_NEAR(c->greenF(), 0.25, kColorTolerance);
    EXPECT_NEAR(c->blueF(), 1.0, kColorTolerance);
    EXPECT_FLOAT_EQ(c->alphaF(), 1.0f);
    EXPECT_TRUE(QNEnhancer::colorFromHighlightDefault(QStringLiteral("  0.1   0.2 0.3")));
    EXPECT_FALSE(QNEnhancer::colorFromHighlightDefault(QStringLiteral("Graphite")));
    EXPECT_FALSE(QNEnhancer::colorFromHighlightDefault(QStringLiteral("0.1 0.2")));
    EXPECT_FALSE(QNEnhancer::colorFromHighlightDefault(QStringLiteral("0.1 0.2 Blue")));
    EXPECT_FALSE(QNEnhancer::colorFromHighlightDefault(QString()));
}

TEST(QNEnhancer, HiliteColorReadsTheGlobalDomain)
{
    qn::UserDefaults global(QNEnhancer::globalDomain());
    ASSERT_TRUE(global.setObject(QStringLiteral("0.25 0.5 0.75 Custom"), QStringLiteral("AppleHighlightColor")));
    auto c = QNEnhancer::hiliteColor();
    ASSERT_TRUE(c);
    EXPECT_NEAR(c->redF(), 0.25, kColorTolerance);
    EXPECT_NEAR(c->blueF(), 0.75, kColorTolerance);

    // A malformed value gives nothing; the desktop colour stands in only for
    // a missing key.
    ASSERT_TRUE(global.setObject(QStringLiteral("Graphite"), QStringLiteral("AppleHighlightColor")));
    EXPECT_FALSE(QNEnhancer::hiliteColor());
    ASSERT_TRUE(global.removeObject(QStringLiteral("AppleHighlightColor")));
    c = QNEnhancer::hiliteColor();
    ASSERT_TRUE(c);
    QColor expected = QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight);
    EXPECT_EQ(c->rgb(), expected.rgb());
    EXPECT_FLOAT_EQ(c->alphaF(), 1.0f);
}

TEST(QNEnhancer, NewlineSetIsExactlyTheFiveLineBreaks)
{
    const QSet<char32_t> set = QNEnhancer::newlineCharacterSet();
    EXPECT_EQ(set, (QSet<char32_t>{0x0A, 0x0B, 0x0C, 0x0D, 0x85}));
    EXPECT_FALSE(set.contains(0x2028));
    EXPECT_FALSE(set.contains(0x2029));
    EXPECT_FALSE(set.contains(0x09));
}

TEST(QNEventUtility, KeyMapBitsFollowTheToolboxBitOrder)
{
    auto press = [](std::array<quint8, 16>& map, unsigned keyCode) { map[keyCode / 8] |= quint8(0x80 >> (keyCode % 8)); };
    std::array<quint8, 16> map{};
    EXPECT_EQ(QNEventUtility::modifierKeyStatusForKeyMap(map), 0u);
    press(map, 0x38);  // Shift
    press(map, 0x37);  // Command
    EXPECT_EQ(QNEventUtility::modifierKeyStatusForKeyMap(map), (1u << 17) | (1u << 20));

    std::array<quint8, 16> all{};
    for (unsigned key : {0x39u, 0x38u, 0x3Bu, 0x3Au, 0x37u, 0x47u, 0x72u, 0x3Fu})
        press(all, key);
    EXPECT_EQ(QNEventUtility::modifierKeyStatusForKeyMap(all), 0x00FF0000u);

    // Right-hand Shift, Option and Control and every other key are not tested.
    std::array<quint8, 16> others{};
    others.fill(0xFF);
    for (unsigned key : {0x39u, 0x38u, 0x3Bu, 0x3Au, 0x37u, 0x47u, 0x72u, 0x3Fu})
        others[key / 8] &= quint8(~(0x80 >> (key % 8)));
    EXPECT_EQ(QNEventUtility::modifierKeyStatusForKeyMap(others), 0u);
}

TEST(QNEventUtility, QtModifiersMapToTheirBits)
{
    EXPECT_EQ(QNEventUtility::modifierKeyStatusForQtModifiers(Qt::ShiftModifier | Qt::MetaModifier),
              (1u << 17) | (1u << 20));
    EXPECT_EQ(QNEventUtility::modifierKeyStatusForQtModifiers(Qt::ControlModifier), 1u << 18);
    EXPECT_EQ(QNEventUtility::modifierKeyStatusForQtModifiers(Qt::AltModifier | Qt::KeypadModifier),
              (1u << 19) | (1u << 21));
    EXPECT_EQ(QNEventUtility::modifierKeyStatusForQtModifiers(Qt::GroupSwitchModifier), 0u);
    // Nothing is held in the offscreen test session.
    EXPECT_EQ(QNEventUtility::modifierKeyStatus() & ~0x00FF0000u, 0u);
}

TEST(QNPropertyFile, InitHoldsNoPathAndNoProperties)
{
    const QNPropertyFile file;
    EXPECT_TRUE(file._filePath.isNull());
    EXPECT_TRUE(file._properties.isEmpty());
    EXPECT_FALSE(file._eachLineContainsPluralProperties);
    EXPECT_EQ(QNPropertyFile(QStringLiteral("/etc/x.properties"))._filePath, "/etc/x.properties");
}
