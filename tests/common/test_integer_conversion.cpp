#include "common/IntegerConversion.h"

#include <gtest/gtest.h>

#include <string>

using common::StrToInt;
using common::TryStrToInt;

TEST(IntegerConversion, DecimalRangeIsSigned32Bit)
{
    EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(StrToInt("2147483647"), INT32_MAX);
    EXPECT_EQ(StrToInt("+2147483647"), INT32_MAX);
    EXPECT_FALSE(TryStrToInt("-2147483649"));
    EXPECT_FALSE(TryStrToInt("2147483648"));
    EXPECT_FALSE(TryStrToInt("99999999999999999999"));
    EXPECT_EQ(StrToInt("-0"), 0);
    EXPECT_EQ(StrToInt("000042"), 42);
}

TEST(IntegerConversion, HexadecimalIsUpTo32BitsTakenAsSigned)
{
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(StrToInt("$80000000"), INT32_MIN);
    EXPECT_EQ(StrToInt("$7fffffff"), INT32_MAX);
    EXPECT_EQ(StrToInt("0X1f"), 31);
    EXPECT_EQ(StrToInt("0x1F"), 31);
    EXPECT_EQ(StrToInt("x10"), 16);
    EXPECT_EQ(StrToInt("X10"), 16);
    EXPECT_EQ(StrToInt("$000000001"), 1) << "leading zeros add no bits";
    EXPECT_FALSE(TryStrToInt("$100000000"));
    EXPECT_FALSE(TryStrToInt("x"));
    EXPECT_FALSE(TryStrToInt("$"));
    EXPECT_FALSE(TryStrToInt("0x"));
    EXPECT_FALSE(TryStrToInt("-$1")) << "no sign before hexadecimal";
    EXPECT_FALSE(TryStrToInt("$1G"));
}

TEST(IntegerConversion, OnlyLeadingSpacesAreAllowed)
{
    EXPECT_EQ(StrToInt(" +5"), 5);
    EXPECT_EQ(StrToInt("   -12"), -12);
    EXPECT_EQ(StrToInt("  $10"), 16);
    EXPECT_FALSE(TryStrToInt("5 "));
    EXPECT_FALSE(TryStrToInt(""));
    EXPECT_FALSE(TryStrToInt("   "));
    EXPECT_FALSE(TryStrToInt("\t5"));
    EXPECT_FALSE(TryStrToInt("+"));
    EXPECT_FALSE(TryStrToInt("- 5"));
    EXPECT_FALSE(TryStrToInt("1.5"));
    EXPECT_FALSE(TryStrToInt("12a"));
    EXPECT_FALSE(TryStrToInt(std::string("5\0", 2)));
}

TEST(IntegerConversion, FailureNamesTheText)
{
    try {
        StrToInt("5 ");
        FAIL() << "no error";
    } catch (const common::EConvertError &error) {
        EXPECT_STREQ(error.what(), "'5 ' ist kein gültiger Integerwert");
    }
    try {
        StrToInt("");
        FAIL() << "no error";
    } catch (const common::EConvertError &error) {
        EXPECT_STREQ(error.what(), "'' ist kein gültiger Integerwert");
    }
}

TEST(IntegerConversion, OverlongTextIsCutInTheMessage)
{
    const auto messageFor = [](const std::string &text) -> std::string {
        try {
            StrToInt(text);
        } catch (const common::EConvertError &error) {
            return error.what();
        }
        return "no error";
    };
    const std::string forty(40, 'a');
    EXPECT_EQ(messageFor(forty), "'" + forty + "' ist kein gültiger Integerwert");
    EXPECT_EQ(messageFor(forty + "b"), "'" + forty + "…' ist kein gültiger Integerwert");
    EXPECT_EQ(messageFor(std::string(20'000'000, '9')),
              "'" + std::string(40, '9') + "…' ist kein gültiger Integerwert");

    // Counted and cut in characters: "ä" is two bytes and stays whole.
    std::string umlauts;
    for (int i = 0; i < 50; ++i)
        umlauts += "ä";
    EXPECT_EQ(messageFor(umlauts), "'" + umlauts.substr(0, 80) + "…' ist kein gültiger Integerwert");
    EXPECT_EQ(messageFor(std::string(39, 'x') + "€€"),
              "'" + std::string(39, 'x') + "€…' ist kein gültiger Integerwert");
}
