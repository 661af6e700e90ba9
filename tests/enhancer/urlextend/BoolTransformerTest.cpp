// SPDX-License-Identifier: MIT
#include "QNBoolTransformer.h"

#include "strings/LocalizedString.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>
#include <gtest/gtest.h>

TEST(QNBoolTransformer, WithoutAnEntryTheKeysThemselvesShow)
{
    const QNBoolTransformer t;
    EXPECT_EQ(t.transformedValue(true).toString(), "Yes");
    EXPECT_EQ(t.transformedValue(false).toString(), "No");
    EXPECT_EQ(t.transformedValue(QVariant()).toString(), "No") << "no value reads as false";
    EXPECT_EQ(QNBoolTransformer::transformedValueClass(), QMetaType::fromType<QString>());
    EXPECT_FALSE(QNBoolTransformer::allowsReverseTransformation());
}

TEST(QNBoolTransformer, UsesTheProgramsOwnTableOnceRegistered)
{
    QNBoolTransformer::registerTransformer();
    const auto t = qn::ValueTransformer::valueTransformerForName("QNBoolTransformer");
    ASSERT_NE(t, nullptr);
    QTranslator table;
    ASSERT_TRUE(table.load(QLocale(QLocale::English), "urltest", "_", ":/i18n"));
    QCoreApplication::installTranslator(&table);
    EXPECT_EQ(t->transformedValue(true).toString(), "Yes, it is");
    EXPECT_EQ(t->transformedValue(1).toString(), "Yes, it is");
    EXPECT_EQ(t->transformedValue(0).toString(), "No, it is not");
    EXPECT_EQ(t->transformedValue(QString()).toString(), "No, it is not");
    EXPECT_EQ(t->transformedValue(QVariant()).toString(), "No, it is not");
    QCoreApplication::removeTranslator(&table);
}
