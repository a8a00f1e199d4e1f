#include "app/VersionCompare.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct ComparisonCase {
    const char* first;
    const char* second;
    int32_t expected;
};

const std::string kDotted40 = "1.2.3.4." + std::string(32, '5');
const std::string kDotless40(40, '7');
const std::string kDotted32 = "2.0.0." + std::string(26, '0');  // exactly 32 characters
const std::string kDotted33 = "2.0.0." + std::string(27, '0');

TEST(CompareVersions, OrdersVersionTextsPartByPartAndAnswersZeroForTheUncomparable)
{
    const ComparisonCase cases[] = {
        {"1.4.14.815", "1.4.14.816", -1},
        {"1.4.14.816", "1.4.14.815", 1},
        {"1.4.14.815", "1.4.14.815", 0},
        {"1.4.10.0", "1.4.9.99", 1},
        {"2.0.0.0", "10.0.0.0", -1},
        {"01.02.03.04", "1.2.3.4", 0},
        {"1.4.14", "1.4.14.0", -1},
        {"1.4.14", "1.4.0.0", 0},
        {"1.4", "1.4.0.0", 0},
        {"1.2.3.4.5", "1.2.3.4", 0},
        {"1.2.3.4x", "1.2.3.4", 0},
        {"a.b.c.d", "0.0.0.0", 0},
        {"14140815", "1.4.14.815", 0},
        {"1041415", "1.4.14.815", -1},
        {"123456789", "1.0.0.0", 0},
        {"1.0.0.0", "123456789", 0},
        {kDotted40.c_str(), "1.0.0.0", 0},
        {kDotless40.c_str(), "1.0.0.0", 0},
        {kDotted32.c_str(), "1.0.0.0", 1},
        {"1.0.0.0", kDotted32.c_str(), -1},
        {kDotted33.c_str(), "1.0.0.0", 0},
        {"1.0.0.0", kDotted33.c_str(), 0},
        {nullptr, "1.0.0.0", 0},
        {"1.0.0.0", nullptr, 0},
        // The number rule reads like atol: blanks and a sign before the digits.
        {" 2.0.0.0", "1.0.0.0", 1},
        {"\t2.0.0.0", "1.0.0.0", 1},
        {"\n2.0.0.0", "1.0.0.0", 1},
        {"\v2.0.0.0", "1.0.0.0", 1},
        {"\f2.0.0.0", "1.0.0.0", 1},
        {"\r2.0.0.0", "1.0.0.0", 1},
        {"1.0.0.\r\n 5", "1.0.0.4", 1},
        {"-1.0.0.0", "0.0.0.0", -1},
        {"+3.0.0.0", "3.0.0.0", 0},
        {"1.0.0.- 5", "1.0.0.0", 0},
        // Compact texts on both sides.
        {"141481", "0.1.4.1481", 0},
        {"1041415", "1041416", -1},
    };
    for (const ComparisonCase& c : cases) {
        EXPECT_EQ(c.expected, CompareVersions(c.first, c.second))
            << (c.first ? c.first : "(null)") << " against " << (c.second ? c.second : "(null)");
    }
}

TEST(CompareVersions, SaturatesPiecesBeyondThirtyTwoBits)
{
    const ComparisonCase cases[] = {
        {"99999999999.0.0.0", "2147483647.0.0.0", 0},
        {"99999999999.0.0.0", "2147483646.0.0.0", 1},
        {"-99999999999.0.0.0", "-2147483648.0.0.0", 0},
        {"-99999999999.0.0.0", "-2147483647.0.0.0", -1},
        {"1.0.0.4294967296", "1.0.0.2147483647", 0},
        {"1.0.0.000000000000000000000001", "1.0.0.1", 0},
        {"1.0.0.000000000000000000000002", "1.0.0.1", 1},
    };
    for (const ComparisonCase& c : cases)
        EXPECT_EQ(c.expected, CompareVersions(c.first, c.second)) << c.first << " against " << c.second;
}

TEST(IsAtLeastVersion, TakesEqualOrNewerAndCountsTheUncomparableAsOlder)
{
    const struct {
        const char* version;
        const char* floor;
        bool atLeast;
        bool versionComparable;
    } cases[] = {
        {"1.4.14.816", "1.4.14.816", true, true},
        {"1.4.14.817", "1.4.14.816", true, true},
        {"1.4.15.0", "1.4.14.999", true, true},
        {"1.5.0.0", "1.4.99.99", true, true},
        {"2.0.0.0", "1.9.9.9", true, true},
        {"1.4.14.815", "1.4.14.816", false, true},
        {"1.4.13.999", "1.4.14.0", false, true},
        {"1.3.99.99", "1.4.0.0", false, true},
        {"0.9.9.9", "1.0.0.0", false, true},
        {"14140816", "1.4.14.816", true, true},
        {"1.4.14.815", "14140816", false, true},
        {"1.4.14.816", "1041415", true, true},
        {kDotted32.c_str(), "1.0.0.0", true, true},
        {kDotted33.c_str(), "1.0.0.0", false, false},
        {"1.0.0.0", kDotted33.c_str(), false, true},
        {"123456789", "1.0.0.0", false, false},
        {"1.0.0.0", "123456789", false, true},
        {"", "0.0.0.0", false, false},
        {"0.0.0.0", "", false, true},
        {nullptr, "0.0.0.0", false, false},
        {"0.0.0.0", nullptr, false, true},
    };
    for (const auto& c : cases) {
        const std::string label = std::string(c.version ? c.version : "(null)") + " against " +
                                  (c.floor ? c.floor : "(null)");
        EXPECT_EQ(c.atLeast, IsAtLeastVersion(c.version, c.floor)) << label;
        EXPECT_EQ(c.versionComparable, IsComparableVersion(c.version)) << label;
    }
}

TEST(FormatFileVersion, WritesTheFourSixteenBitNumbersDotted)
{
    const struct {
        uint32_t high;
        uint32_t low;
        const char* text;
    } cases[] = {
        {0x00010004, 0x000E0330, "1.4.14.816"},
        {0x00000000, 0x00000000, "0.0.0.0"},
        {0x000A0000, 0x00000010, "10.0.0.16"},
        {0xFFFFFFFF, 0xFFFFFFFF, "65535.65535.65535.65535"},
    };
    for (const auto& c : cases) {
        char text[24];
        FormatFileVersion(c.high, c.low, text);
        EXPECT_STREQ(c.text, text);
        EXPECT_TRUE(IsAtLeastVersion(text, c.text)) << text;
    }
}

struct NormalizeCase {
    const char* text;
    const char* expected;  // null: cannot be normalized
};

TEST(NormalizeVersion, SplitsCompactTextsByLength)
{
    const NormalizeCase cases[] = {
        {"14140815", "0001.0004.0014.0815"},
        {"1041415", "0001.0000.0004.1415"},
        {"141481", "0000.0001.0004.1481"},
        {"1.4.14.815", "1.4.14.815"},
        {"1.", "1."},
        {".", "."},
        {"x.y", "x.y"},
        {"12-34567", "0001.0002.-003.4567"},
        {"ab-1cdef", "0000.0000.-001.0000"},
        {"123456789", nullptr},
        // Shorter dotless texts, the empty one included, are unreadable like
        // the over-long ones.
        {"12345", nullptr},
        {"1", nullptr},
        {"", nullptr},
        {nullptr, nullptr},
    };
    for (const NormalizeCase& c : cases) {
        CString out("untouched");
        const bool ok = NormalizeVersion(c.text, out);
        const char* label = c.text ? c.text : "(null)";
        if (c.expected) {
            EXPECT_TRUE(ok) << label;
            EXPECT_STREQ(c.expected, out) << label;
        } else {
            EXPECT_FALSE(ok) << label;
            EXPECT_STREQ("untouched", out) << label;
        }
    }
}

// Every compact text of digits and signs prints as the C library's "%04ld"
// would print its four fields.
TEST(NormalizeVersion, PadsFieldsLikePrintf)
{
    const char alphabet[] = "0-9 ";
    char text[9] = {};
    for (int pattern = 0; pattern < 4 * 4 * 4 * 4 * 4 * 4 * 4 * 4; ++pattern) {
        int rest = pattern;
        for (int i = 0; i < 8; ++i, rest /= 4)
            text[i] = alphabet[rest % 4];
        CString out;
        ASSERT_TRUE(NormalizeVersion(text, out)) << text;
        const long fields[4] = {std::atol(std::string(text, 1).c_str()), std::atol(std::string(text + 1, 1).c_str()),
                                std::atol(std::string(text + 2, 2).c_str()), std::atol(text + 4)};
        char expected[64];
        std::snprintf(expected, sizeof(expected), "%04ld.%04ld.%04ld.%04ld", fields[0], fields[1], fields[2], fields[3]);
        ASSERT_STREQ(expected, out) << '"' << text << '"';
    }
}

}  // namespace
