#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "import/xml_access.h"

namespace {
// Compares bit patterns: -0 and 0 differ, as strtof's results do.
void expectSameAsStrtof(const std::string& token) {
    char* strtofEnd = nullptr;
    float expected = std::strtof(token.c_str(), &strtofEnd);
    const char* end = nullptr;
    float got = parseFloatToken(token.c_str(), &end);
    uint32_t a, b;
    std::memcpy(&a, &expected, 4);
    std::memcpy(&b, &got, 4);
    EXPECT_EQ(a, b) << "'" << token << "'";
    EXPECT_EQ(end, (const char*)strtofEnd) << "'" << token << "'";
}
}  // namespace

TEST(Numbers, TokensReadExactlyAsStrtofReadsThem) {
    for (const char* t : {"0", "-0", "0.15", "-0.787654", "1e3", "2.5E-4", "12345678", "16777216", "16777217",
                          "0.1", "3.4028235e38", "1e-45", "7.", ".5", "-.25", "1.5abc", "1.5e", "1e+", "abc",
                          "+4", "0x1p3", "inf", "nan", "000000000000123", "1.00000000000000000001",
                          "9999999", "0.0000001", "1e10", "1e11", "1e-10", "1e-11", "123456.789"})
        expectSameAsStrtof(t);
    std::mt19937 rng(11);
    for (int i = 0; i < 200000; i++) {
        std::string t;
        if (rng() % 4 == 0) t += '-';
        int before = (int)(rng() % 9), after = (int)(rng() % 9);
        for (int k = 0; k < before; k++) t += char('0' + rng() % 10);
        if (after || before == 0) t += '.';
        for (int k = 0; k < after; k++) t += char('0' + rng() % 10);
        if (rng() % 5 == 0) t += "e" + std::to_string((int)(rng() % 25) - 12);
        expectSameAsStrtof(t);
        if (HasFailure()) break;
    }
}

#include <libxml/parser.h>

#include "import/read_shared.h"

TEST(Numbers, IndexListsCountHoleSeparatorsAndAttributesAreCutAndRangeChecked) {
    const char* text = "<p w=\"abcd more\" big=\"99999999999\" n=\"-12\">0 1/2\t3<h/>4 x<h>5 6</h></p>";
    xmlDoc* doc = xmlReadMemory(text, (int)std::strlen(text), "p.xml", nullptr, XML_PARSE_NONET);
    ASSERT_NE(doc, nullptr);
    const xmlNode* p = xmlDocGetRootElement(doc);
    ASSERT_EQ(countIndices(p), 10);
    int32_t values[10];
    ASSERT_EQ(readIndices(p, values, 10), 10);
    const int32_t expected[10] = {0, 1, 2, 3, -1, 4, -2, -1, 5, 6};  // "x" is no index: -2
    for (int i = 0; i < 10; i++) EXPECT_EQ(values[i], expected[i]) << i;
    EXPECT_EQ(readIndices(p, values, 3), 3);  // never more than asked
    char word[8];
    xmlAttrString(p, "w", word, 4);
    EXPECT_STREQ(word, "abc");  // the first word, cut to fit with its terminator
    int32_t n = 7;
    xmlAttrInt(p, "big", &n);
    EXPECT_EQ(n, 7);  // beyond 32 bits: left as it was
    xmlAttrInt(p, "n", &n);
    EXPECT_EQ(n, -12);
    xmlFreeDoc(doc);
}
