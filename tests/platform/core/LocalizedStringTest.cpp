#include "strings/LocalizedString.h"

#include <gtest/gtest.h>

using namespace qn;

TEST(LocalizedString, TableEntryOrTheKeyItself)
{
    ASSERT_TRUE(installTranslations("coretest"));
    EXPECT_EQ(localizedString("TrayWillBeClosed").arg(5), "The tray will be closed in 5 seconds.");
    EXPECT_EQ(localizedString("NoSuchKey"), "NoSuchKey");
    EXPECT_FALSE(installTranslations("no_such_table"));
}
