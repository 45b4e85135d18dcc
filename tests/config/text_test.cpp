#include <gtest/gtest.h>

#include <limits>

#include <cmath>
#include <string>
#include <vector>

#include "config/text.h"

namespace {

TEST(ConfigText, TrimAndSplit) {
    EXPECT_EQ(Trim(" ,\t a b ,\t\r\n"), "a b");
    EXPECT_EQ(Trim("\r\nx"), "\r\nx");  // line breaks are removed at the end only
    EXPECT_EQ(Trim(",,,"), "");
    struct Case {
        const char* text;
        std::vector<std::string> items;
    } const cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a,", {"a"}},
        {"a,,b", {"a", "", "b"}},
        {",a", {"", "a"}},
        {" a , b\t,c ", {"a", "b", "c"}},
        {"a,,", {"a", ""}},
    };
    for (const Case& c : cases) EXPECT_EQ(Split(c.text, ','), c.items) << c.text;
    EXPECT_EQ(Split("key = a=b", '='), (std::vector<std::string>{"key", "a", "b"}));
    EXPECT_EQ(ToLower("MeshES\\Ä"), "meshes\\Ä");
}

TEST(ConfigText, NumbersReadTheirLeadingPrefixWithoutOverflow) {
    struct IntCase {
        const char* text;
        int32_t value;
    } const ints[] = {
        {"42", 42},          {"-7x", -7},         {"+3", 3},
        {"x5", 0},           {"", 0},             {"-", 0},
        {"2147483647", 2147483647},               {"2147483648", 2147483647},
        {"-2147483648", INT32_MIN},               {"-99999999999999999999999", INT32_MIN},
        {"999999999999999999999999999999", 2147483647},
        {"1.9", 1},
    };
    for (const IntCase& c : ints) EXPECT_EQ(ReadInt(c.text), c.value) << c.text;

    EXPECT_DOUBLE_EQ(ReadReal("1.5e2abc"), 150.0);
    EXPECT_DOUBLE_EQ(ReadReal("-.25"), -0.25);
    EXPECT_DOUBLE_EQ(ReadReal("3e"), 3.0);
    EXPECT_DOUBLE_EQ(ReadReal("0x10"), 0.0);  // decimal only
    EXPECT_DOUBLE_EQ(ReadReal("nan"), 0.0);
    EXPECT_DOUBLE_EQ(ReadReal("inf"), 0.0);
    EXPECT_TRUE(std::isinf(ReadReal("1e999")));
    EXPECT_EQ(ReadReal("-1e999"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(ReadReal("0.000001e-400"), 0.0);  // underflow reads as zero, not infinity
    EXPECT_GT(ReadReal("123456e-320"), 0.0);  // a subnormal is still a number
    EXPECT_DOUBLE_EQ(ReadReal("  +2.5"), 2.5);
    EXPECT_DOUBLE_EQ(ReadReal("0.2"), 0.2);
}

}  // namespace
