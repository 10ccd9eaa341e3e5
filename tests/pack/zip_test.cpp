#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pack/zip.h"
#include "support/reference_jpeg.h"
#include "support/test_support.h"

namespace {
// An archive made by minizip's writer: a deflated text, a stored binary member in a folder, an
// empty member and a large compressible one.
class ZipMembers : public ::testing::Test {
protected:
    void SetUp() override {
        std::string bin, big;
        for (int i = 0; i < 256; i++) bin += (char)i;
        for (int i = 0; i < 20; i++) text += "hello zip ";
        for (int i = 0; i < 100000; i++) big += "xy";
        ASSERT_TRUE(writeZip(dir.file("a.zip"), {{"a.txt", text}, {"dir/b.bin", bin, false}, {"empty", ""}, {"big", big}}));
    }
    std::string read(const char* member, int32_t capacity, int32_t* result) {
        std::vector<uint8_t> buffer((size_t)capacity + 4, 0xEE);
        *result = pack_member_read(buffer.data(), capacity, member, d(), "a.zip");
        for (size_t i = (size_t)capacity; i < buffer.size(); i++) EXPECT_EQ(buffer[i], 0xEE);
        return std::string(buffer.begin(), buffer.begin() + (*result > 0 ? *result : 0));
    }
    const char* d() { return dir.path().c_str(); }
    TempDir dir;
    std::string text;
};
}  // namespace

TEST_F(ZipMembers, SizesAndContentsOfStoredAndDeflatedMembers) {
    EXPECT_EQ(pack_member_size("a.txt", d(), "a.zip"), (int32_t)text.size());
    EXPECT_EQ(pack_member_size("dir/b.bin", d(), "a.zip"), 256);
    EXPECT_EQ(pack_member_size("empty", d(), "a.zip"), 0);
    EXPECT_EQ(pack_member_size("big", d(), "a.zip"), 200000);
    int32_t result = 0;
    EXPECT_EQ(read("a.txt", 1000, &result), text);
    EXPECT_EQ(result, (int32_t)text.size());
    std::string bin = read("dir/b.bin", 256, &result);
    ASSERT_EQ(result, 256);
    for (int i = 0; i < 256; i++) ASSERT_EQ((uint8_t)bin[(size_t)i], i);
    std::string big = read("big", 200000, &result);
    ASSERT_EQ(result, 200000);
    EXPECT_EQ(big.substr(199990), "xyxyxyxyxy");
    EXPECT_EQ(read("empty", 0, &result), "");
    EXPECT_EQ(result, 0);
}

TEST_F(ZipMembers, MissingThingsAndSmallBuffersGiveMinusOne) {
    EXPECT_EQ(pack_member_size("nothere", d(), "a.zip"), -1);
    EXPECT_EQ(pack_member_size("A.TXT", d(), "a.zip"), -1);  // names are case-sensitive
    EXPECT_EQ(pack_member_size("a.txt", d(), "missing.zip"), -1);
    int32_t result = 0;
    read("nothere", 10, &result);
    EXPECT_EQ(result, -1);
    // A buffer one byte short is not touched at all.
    read("dir/b.bin", 255, &result);
    EXPECT_EQ(result, -1);
    // Not an archive at all.
    writeText(dir.file("plain.zip"), "this is not a zip archive");
    EXPECT_EQ(pack_member_size("a.txt", d(), "plain.zip"), -1);
}

TEST_F(ZipMembers, DamagedMemberDataIsReported) {
    // Headers (local and central) that claim 300 bytes for the 256 stored ones: the read comes up
    // short, which is an error even though the checksum is never reached.
    std::vector<uint8_t> zip = readBytes(dir.file("a.zip"));
    std::vector<uint8_t> longer = zip;
    const std::string name = "dir/b.bin";
    auto local = std::search(longer.begin(), longer.end(), name.begin(), name.end());
    auto central = std::search(local + 1, longer.end(), name.begin(), name.end());
    ASSERT_NE(central, longer.end());
    for (auto size : {local - 8, central - 22}) {  // the uncompressed size, little-endian
        size[0] = 44;
        size[1] = 1;
    }
    writeBytes(dir.file("long.zip"), longer);
    ASSERT_EQ(pack_member_size("dir/b.bin", d(), "long.zip"), 300);
    std::vector<uint8_t> buffer(300);
    EXPECT_EQ(pack_member_read(buffer.data(), 300, "dir/b.bin", d(), "long.zip"), -1);
    // Flip bytes inside the stored member's data: the checksum no longer matches.
    std::vector<uint8_t> needle;
    for (int i = 0; i < 16; i++) needle.push_back((uint8_t)(100 + i));
    auto at = std::search(zip.begin(), zip.end(), needle.begin(), needle.end());
    ASSERT_NE(at, zip.end());
    *at ^= 0xFF;
    writeBytes(dir.file("a.zip"), zip);
    EXPECT_EQ(pack_member_size("dir/b.bin", d(), "a.zip"), 256);
    int32_t result = 0;
    read("dir/b.bin", 256, &result);
    EXPECT_EQ(result, -1);
    read("a.txt", 1000, &result);
    EXPECT_GT(result, 0);  // the other members still read
}
