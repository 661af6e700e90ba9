// SPDX-License-Identifier: MIT
#include "strings/LocalizedString.h"

#include <gtest/gtest.h>

using namespace qn;

TEST(LocalizedString, TableEntryOrTheKeyItself)
{
    ASSERT_TRUE(installTranslations("coretest", QLocale(QLocale::English)));
    EXPECT_EQ(localizedString("TrayWillBeClosed").arg(5), "The tray will be closed in 5 seconds.");
    EXPECT_EQ(localizedString("NoSuchKey"), "NoSuchKey");
    EXPECT_FALSE(installTranslations("no_such_table"));
}

struct LanguageCase {
    const char* locale;
    const char* trayText;  // TrayWillBeClosed with 5
};

// Each case installs its table on top of the earlier ones; the newest
// installed table answers first, and every table answers every key it has.
class LocalizedStringLanguage : public ::testing::TestWithParam<LanguageCase> {};

// The locale's language when a table has it, else English; a region or a
// script of a known language still finds the language's table.
TEST_P(LocalizedStringLanguage, PicksTheLocalesTableOrEnglish)
{
    const LanguageCase c = GetParam();
    const QLocale locale(QString::fromLatin1(c.locale));
    ASSERT_TRUE(installTranslations("coretest", locale));
    EXPECT_EQ(localizedString("TrayWillBeClosed").arg(5), c.trayText);
    // A key the chosen language lacks shows in English, never as the bare key.
    EXPECT_EQ(localizedString("NotYetTranslated"), "Only in English so far.");
}

INSTANTIATE_TEST_SUITE_P(
    Locales, LocalizedStringLanguage,
    ::testing::Values(LanguageCase{"de_DE", "Die Schublade wird in 5 Sekunden geschlossen."},
                      LanguageCase{"de_AT", "Die Schublade wird in 5 Sekunden geschlossen."},
                      LanguageCase{"de_CH", "Die Schublade wird in 5 Sekunden geschlossen."},
                      LanguageCase{"en_GB", "The tray will be closed in 5 seconds."},
                      LanguageCase{"fr_FR", "The tray will be closed in 5 seconds."},
                      LanguageCase{"C", "The tray will be closed in 5 seconds."}));
