#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "strings/text.h"

TEST(Text, GapsOpenAndCloseForEditing) {
    char t[8] = "abc", u[8] = "abc", w[8] = "abcd", z[8] = "abcd";
    openGap(t, 1, 4);
    openGap(u, 0, 5);  // a gap at the start reads nothing before the text
    t[1] = 'X';
    u[0] = 'Y';
    closeGap(w, 1, 4);
    closeGap(z, 3, 4);
    EXPECT_EQ(std::string(t, 4), "aXbc");
    EXPECT_STREQ(u, "Yabc");
    EXPECT_STREQ(w, "acd");
    EXPECT_STREQ(z, "abc");
}

TEST(Text, TokensRunsAndSearches) {
    char out[16] = "untouched";
    EXPECT_EQ(nextToken(out, sizeof out, "  one  two", 0, ' '), 5);
    EXPECT_STREQ(out, "one");
    EXPECT_EQ(nextToken(out, sizeof out, "  one  two", 5, ' '), 10);
    EXPECT_STREQ(out, "two");
    EXPECT_EQ(nextToken(out, sizeof out, "  one  two", 10, ' '), -1);
    EXPECT_EQ(nextToken(out, sizeof out, "   ", 0, ' '), -1);
    EXPECT_STREQ(out, "two");  // no token: out untouched
    char small[4];
    EXPECT_EQ(nextToken(small, sizeof small, "abcdefgh x", 0, ' '), 8);  // truncated copy, full run skipped
    EXPECT_STREQ(small, "abc");
    EXPECT_EQ(countTokens("", ' '), 0);
    EXPECT_EQ(countTokens("  one  two ", ' '), 2);
    EXPECT_EQ(countTokens("_a_b__c_", '_'), 3);
    EXPECT_EQ(sameRun("abcdef", 2, "xxcde", 2, 3), 0);
    EXPECT_EQ(sameRun("abcdef", 2, "xxcdf", 2, 3), 1);
    EXPECT_EQ(sameRun("abc", 1, "abc", 1, 5), 1);
    EXPECT_EQ(sameRun("cde", 0, "ab\0cde", 3, 3), 1);  // past b's end, not what lies beyond it
    char r[] = "1,5 2,25";
    replaceChar(r, ',', '.');
    EXPECT_STREQ(r, "1.5 2.25");
    EXPECT_EQ(textCompareNoCase("AZ", "az"), 0);  // both ends of the letters
    EXPECT_LT(textCompareNoCase("apple", "Banana"), 0);
    EXPECT_GT(textCompareNoCase("b", "A"), 0);
    EXPECT_EQ(textCopy(small, "toolong", 4), 3);
    EXPECT_STREQ(small, "too");
    EXPECT_FALSE(textCopyWhole(small, "full", 4));  // all or nothing: no room for the terminator
    EXPECT_TRUE(textCopyWhole(small, "fit", 4));
    EXPECT_STREQ(small, "fit");
}

TEST(Text, NextLineNeedsCrLf) {
    const char* t = "ab\r\ncd\nef\r\r\ngh";
    int32_t n = (int32_t)std::strlen(t);
    EXPECT_EQ(nextLine(t, n, 0), 4);
    // A lone LF does not end a line, and a CR not followed by LF takes the next byte with it, so the
    // CR LF of "\r\r\n" is not seen.
    EXPECT_EQ(nextLine(t, n, 4), n);
    EXPECT_EQ(nextLine(t, n, 10), 12);
    EXPECT_EQ(nextLine("x\r", 2, 0), 2);
}

TEST(Text, FormatFloatWritesFixedDecimalsWithoutLeadingZero) {
    char out[64];
    const struct {
        float v;
        int d;
        const char* text;
    } cases[] = {{3.14159f, 2, "3.14"}, {12.0f, 2, "12.00"}, {0.05f, 2, ".05"}, {0.0f, 3, "0"},
                 {-2.5f, 2, "-2.50"},  {-0.25f, 2, "-.25"}, {0.999f, 2, "1.00"}, {7.6f, 0, "8"}, {0.4f, 0, "0"},
                 {1234.5f, 1, "1234.5"}};
    for (const auto& c : cases) {
        formatFloat(c.v, out, c.d);
        EXPECT_STREQ(out, c.text) << c.v << " " << c.d;
    }
    formatFloat(3.0e30f, out, 40);  // far too long for the buffer: cut, still terminated
    EXPECT_EQ(std::strlen(out), 63u);
}

TEST(Text, HexRoundTrip) {
    char two[2];
    for (int b = 0; b < 256; b++) {
        byteToHex(two, (uint8_t)b);
        ASSERT_EQ(hexToByte(two), b);
    }
    byteToHex(two, 0xA7);
    EXPECT_EQ(std::string(two, 2), "A7");
    EXPECT_EQ(hexToByte("a7"), 0x07);  // lower-case letters are not hex digits here
}
