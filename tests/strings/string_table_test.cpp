#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "strings/string_table.h"
#include "strings/text.h"
#include "support/test_support.h"

namespace {
class StringTables : public ::testing::Test {
protected:
    void SetUp() override { stringsInit(); }
    void TearDown() override { stringsShutdown(); }

    int32_t parse(const std::string& text) {
        int32_t h = stringTableCreate(-1);
        std::vector<char> exact(text.begin(), text.end());  // no terminator after the bytes
        stringTableParse(exact.data(), (int32_t)exact.size(), h);
        return h;
    }
    std::vector<std::string> texts(int32_t h) { return stringTableTexts(h); }
};
}  // namespace

TEST_F(StringTables, EntriesAreNumberedInFileOrderAndCommentsSkipped) {
    int32_t h = parse("// interface texts\r\n5=Open\r\n7=Quit\r\n");
    EXPECT_EQ(texts(h), (std::vector<std::string>{"Open", "Quit"}));
    uint8_t v[4] = {0, 0, 0, 0};
    stringTableValue(h, 1, v);
    EXPECT_EQ(v[0], 255);
    EXPECT_EQ(v[3], 255);
    // The text runs to the end of the line, "=" and "/" included; a number may span lines to its "=".
    h = parse("1=a=b/c\r\n2\r\n=next\r\nx3=after letter\r\n");
    EXPECT_EQ(texts(h), (std::vector<std::string>{"a=b/c", "next", "after letter"}));
}

TEST_F(StringTables, LineEndRules) {
    EXPECT_EQ(texts(parse("1=first\r\n2=last without end")),
              (std::vector<std::string>{"first", "last without end"}));
    EXPECT_EQ(texts(parse("1=only line")), (std::vector<std::string>{"only line"}));
    EXPECT_EQ(texts(parse("1=a\n2=b\n3=c\n")), (std::vector<std::string>{"a\n2=b\n3=c\n"}));
    EXPECT_EQ(texts(parse("1=\r\n2=x\r\n")), (std::vector<std::string>{"", "x"}));
    EXPECT_EQ(texts(parse("1=lone\rCR\r\n")), (std::vector<std::string>{"lone\rCR"}));
    EXPECT_EQ(texts(parse("4")), (std::vector<std::string>{}));
    EXPECT_EQ(texts(parse("4=")), (std::vector<std::string>{}));
    EXPECT_EQ(texts(parse("/ only a comment")), (std::vector<std::string>{}));
    EXPECT_EQ(texts(parse("")), (std::vector<std::string>{}));
}

TEST_F(StringTables, LoadFromFile) {
    TempDir dir;
    writeText(dir.file("vorfre.txt"), "// viewer\r\n0=File\r\n1=Info\r\n");
    int32_t h = stringTableLoad("vorfre.txt", dir.path().c_str());
    EXPECT_EQ(texts(h), (std::vector<std::string>{"File", "Info"}));
    EXPECT_EQ(stringTableLoad("missing.txt", dir.path().c_str()), -1);
    writeText(dir.file("empty.txt"), "");
    EXPECT_EQ(stringTableLoad("empty.txt", dir.path().c_str()), -1);
}

TEST_F(StringTables, SortingIsCaseInsensitiveStableAndMovesValues) {
    int32_t h = stringTableCreate(-1);
    const char* names[] = {"Model", "b", "model", "A", "MODEL"};
    for (uint8_t i = 0; i < 5; i++) {
        const uint8_t v[4] = {i, 0, 0, 0};
        stringTableAdd(h, names[i], v);
    }
    int32_t s = stringTableSorted(h);
    EXPECT_EQ(texts(s), (std::vector<std::string>{"A", "b", "Model", "model", "MODEL"}));
    uint8_t v[4];
    for (auto [row, value] : {std::pair<int, int>{0, 3}, {1, 1}, {4, 4}}) {
        stringTableValue(s, row, v);
        EXPECT_EQ(v[0], value) << row;
    }
    EXPECT_EQ(stringTableCount(h), 0);  // the source is destroyed
}

TEST_F(StringTables, CreateOnAnExistingHandleGivesAFreshTableClearKeepsItAndDestroyIsSafe) {
    const uint8_t v[4] = {0, 0, 0, 0};
    int32_t h = stringTableCreate(-1);
    stringTableAdd(h, "one", v);
    int32_t fresh = stringTableCreate(h);
    EXPECT_EQ(stringTableCount(fresh), 0);
    stringTableAdd(fresh, "two", v);
    stringTableClear(fresh);
    EXPECT_STREQ(stringTableText(fresh, 0), "");  // the old entry is no longer there to read
    stringTableAdd(fresh, "3", v);
    EXPECT_STREQ(stringTableText(fresh, 0), "3");
    EXPECT_STREQ(stringTableText(-1, 0), "");
    for (int32_t gone : {fresh, fresh, -1, 12345}) EXPECT_EQ(stringTableDestroy(gone), -1);
    // Repeated listings reuse registry slots instead of growing the registry.
    for (int i = 0; i < 100; i++) stringTableDestroy(stringTableCreate(-1));
    EXPECT_LE(stringRegistry.capacity, 6);
}

TEST_F(StringTables, FormatScratchTruncatesAtItsCapacity) {
    EXPECT_EQ(formatScratch("%s", std::string(10000, 'z').c_str()), SCRATCH_CAPACITY - 1);
    EXPECT_EQ(textLength(scratchText), SCRATCH_CAPACITY - 1);
    EXPECT_EQ(formatScratch("Open %s.", "a.dae"), 11);
    EXPECT_STREQ(scratchText, "Open a.dae.");
}
