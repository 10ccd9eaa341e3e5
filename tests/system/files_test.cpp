#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "strings/string_table.h"
#include "support/test_support.h"
#include "system/files.h"
#include "system/memory.h"
#include "system/random.h"

namespace fs = std::filesystem;

namespace {
// The file lists are string tables, so the strings module runs for these tests.
class Files : public ::testing::Test {
protected:
    void SetUp() override { stringsInit(); }
    void TearDown() override { stringsShutdown(); }
    TempDir dir;
    const char* d() { return dir.path().c_str(); }
};

}  // namespace

TEST_F(Files, ReadWholeFileReportsMissingEmptyAndUnreadableFiles) {
    uint8_t* buffer = (uint8_t*)memAlloc(nullptr, 5, "test", __LINE__);  // freed by the failed read
    int32_t size = 123;
    EXPECT_EQ(readWholeFile("missing", d(), &buffer, &size), -1);
    EXPECT_TRUE(buffer == nullptr && size == -1);
    writeText(dir.file("empty"), "");
    EXPECT_EQ(readWholeFile("empty", d(), &buffer, &size), -1);
    EXPECT_TRUE(buffer == nullptr && size == 0);
    fs::create_directory(dir.file("sub"));
    EXPECT_EQ(readWholeFile("sub", d(), &buffer, &size), -1);
    EXPECT_EQ(buffer, nullptr);
    writeText(dir.file("five"), "hello");
    ASSERT_EQ(readWholeFile("five", d(), &buffer, &size), 0);
    EXPECT_EQ(size, 5);
    EXPECT_EQ(std::memcmp(buffer, "hello", 5), 0);
    memFree(buffer, "test", __LINE__);
}

TEST_F(Files, WriteCopyAndDelete) {
    ASSERT_EQ(writeWholeFile("f", d(), "long content", 12), 0);
    ASSERT_EQ(writeWholeFile("f", d(), "ab", 2), 0);  // overwrites completely
    EXPECT_EQ(readBytes(dir.file("f")), (std::vector<uint8_t>{'a', 'b'}));
    EXPECT_EQ(writeWholeFile("f", (dir.path() + "nope/").c_str(), "x", 1), -1);
    std::vector<uint8_t> big(1 << 16, 1);  // a write that fails part-way on a full device
    EXPECT_EQ(writeWholeFile("full", "/dev/", big.data(), (int32_t)big.size()), -1);
    writeText(dir.file("a"), "same bytes");
    ASSERT_EQ(copyWholeFile("b", d(), "a", d()), 0);
    EXPECT_EQ(readBytes(dir.file("b")), readBytes(dir.file("a")));
    EXPECT_EQ(fileSize("a", d()), 10);
    EXPECT_EQ(deleteFile("a", d()), 0);
    EXPECT_FALSE(fileExistsIn("a", d()));
}

TEST_F(Files, PathsLongerThanTheBuffersFailCleanly) {
    std::string longName(3000, 'n');
    char out[PATH_CAPACITY];
    std::strcpy(out, "keep");
    EXPECT_EQ(joinPath(out, std::string(PATH_CAPACITY - 2, 'd').c_str(), "nn"), -1);  // one more than fits
    EXPECT_STREQ(out, "");
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    EXPECT_EQ(readWholeFile(longName.c_str(), d(), &buffer, &size), -1);
    EXPECT_EQ(size, -1);
    EXPECT_EQ(writeWholeFile(longName.c_str(), d(), "x", 1), -1);
    EXPECT_FALSE(fileExistsIn(longName.c_str(), d()));

    char path[PATH_CAPACITY] = "/";
    std::string component(2000, 'c');
    EXPECT_EQ(enterDirectory(component.c_str(), path), 0);
    EXPECT_EQ(enterDirectory(component.c_str(), path), -1);  // would pass 2047 characters
    EXPECT_EQ(std::strlen(path), 2002u);
    fileNamePart(out, std::string(PATH_CAPACITY, 'p').c_str());  // one character more than fits
    EXPECT_STREQ(out, "");
    replaceExtension(out, (std::string(2046, 'r') + ".x").c_str(), "jpeg");
    EXPECT_STREQ(out, "");
    char join[PATH_CAPACITY];
    std::strcpy(join, "/a/");
    EXPECT_EQ(joinPath(join, join, "b"), 0);  // out may be dir itself
    EXPECT_STREQ(join, "/a/b");
}

TEST_F(Files, ExtensionsAndNameParts) {
    const struct {
        void (*part)(char*, const char*);
        const char* in;
        const char* expect;
    } cases[] = {
        {fileExtension, "archive.tar.gz", "gz"},
        {fileExtension, ".dae", "dae"},
        {fileExtension, "README", ""},
        {[](char* out, const char* in) { replaceExtension(out, in, "jpg"); }, "model.dae", "model.jpg"},
        {[](char* out, const char* in) { replaceExtension(out, in, "jpg"); }, "model", "model.jpg"},
        {[](char* out, const char* in) { replaceExtension(out, in, "jpg"); }, ".hidden", ".hidden.jpg"},
        {stripExtension, "a.b.c", "a.b"},
        {fileNamePart, "/home/u/model.dae", "model.dae"},
        {fileNamePart, "C:\\models\\wood.png", "wood.png"},  // documents made on Windows name files this way
        {fileNamePart, "bare", "bare"},
        {directoryPart, "bare", "untouched"},
        {directoryPart, "/home/u/model.dae", "/home/u/"},
    };
    for (const auto& c : cases) {
        char out[PATH_CAPACITY] = "untouched";
        c.part(out, c.in);
        EXPECT_STREQ(out, c.expect) << c.in;
    }
}

TEST_F(Files, DepthAndComponent) {
    const char* p = "/home/user/texture_import/";
    const char* components[] = {"home", "user", "texture_import"};
    char out[PATH_CAPACITY];
    EXPECT_EQ(pathDepth(p), 3);
    EXPECT_EQ(pathDepth("noseparator"), -1);
    for (int32_t n = 0; n < 3; n++) {
        pathComponent(n, out, p);
        EXPECT_STREQ(out, components[n]) << n;
    }
    pathComponent(7, out, p);
    EXPECT_STREQ(out, "");
}

TEST_F(Files, EnterDirectoryGoesUpAndStopsAtTheRoot) {
    const char* cases[][3] = {
        {"/models/cars/", "..", "/models/"}, {"/models/cars/", ".", "/models/"}, {"/models/", "..", "/"},
        {"/", "..", "/"},
        {"cars/", "..", "cars/"},  // no separator before the last component
        {"", "..", ""},
        {"/a/", "b", "/a/b/"},
    };
    for (const auto& c : cases) {
        char path[PATH_CAPACITY];
        std::strcpy(path, c[0]);
        enterDirectory(c[1], path);
        EXPECT_STREQ(path, c[2]) << c[0] << " + " << c[1];
    }
}

TEST_F(Files, PatternsFollowTheWildcardRulesWithoutCase) {
    EXPECT_TRUE(patternMatches("*.*", "README"));
    EXPECT_TRUE(patternMatches("*.dae", "Model.DAE"));
    EXPECT_FALSE(patternMatches("*.dae", "model.dae.bak"));
    EXPECT_TRUE(patternMatches("vorten_texture_*.*", "vorten_texture_0_-1_0_1_wood.jpg"));
    EXPECT_FALSE(patternMatches("vorten_texture_*.*", "other.jpg"));
    EXPECT_TRUE(patternMatches("a?c", "abc"));
    EXPECT_FALSE(patternMatches("a?c", "ac"));
    EXPECT_TRUE(patternMatches("*a*b*", "xxaxxbxx"));
}

TEST_F(Files, SearchesListsCountsAndDeletes) {
    for (const char* n : {"b.dae", "A.dae", "c.txt", "noext"}) writeText(dir.file(n), n);
    for (const char* n : {"zeta", "Alpha", "beta"}) fs::create_directory(dir.file(n));
    const uint8_t value[4] = {1, 2, 3, 4};
    int32_t files = listFiles("*.dae", d(), value);
    EXPECT_EQ(stringTableTexts(files), (std::vector<std::string>{"A.dae", "b.dae"}));
    uint8_t v[4] = {0, 0, 0, 0};
    stringTableValue(files, 1, v);
    EXPECT_EQ(v[3], 4);
    int32_t dirs = listDirectories("*.*", d(), value);
    EXPECT_EQ(stringTableTexts(dirs), (std::vector<std::string>{".", "..", "Alpha", "beta", "zeta"}));
    int32_t none = listFiles("*.xyz", d(), value);
    EXPECT_TRUE(none >= 0 && stringTableCount(none) == 0);  // an empty table, not a failure

    deleteMatching("*.*", d());
    EXPECT_EQ(countFiles("*.*", d()), 0);
    EXPECT_TRUE(fs::is_directory(dir.file("beta")));

    writeText(dir.file("zeta/f"), "f");
    EXPECT_EQ(deleteDirectory((dir.path() + "zeta/").c_str()), 0);
    EXPECT_FALSE(fs::exists(dir.file("zeta")));
}

TEST_F(Files, ScrambledFileIsTwoBytesLongerAndUnscramblesInPlace) {
    std::vector<uint8_t> plain;
    for (int i = 0; i < 1000; i++) plain.push_back((uint8_t)(i * 7));
    writeBytes(dir.file("s.stf"), plain);
    seedRandom(99);
    ASSERT_EQ(scrambleFile("s.stf", d()), 0);
    std::vector<uint8_t> scrambled = readBytes(dir.file("s.stf"));
    ASSERT_EQ(scrambled.size(), plain.size() + 2);
    EXPECT_TRUE(scrambled[1] >= 1 && scrambled[1] <= 128);
    // Byte i is plain[i] ^ (K + i * S) mod 256.
    EXPECT_EQ(scrambled[2 + 5], (uint8_t)(plain[5] ^ (uint8_t)(scrambled[0] + 5 * scrambled[1])));
    EXPECT_EQ(unscrambleBlob(scrambled.data(), (int32_t)scrambled.size()), 2);
    EXPECT_EQ(std::vector<uint8_t>(scrambled.begin() + 2, scrambled.end()), plain);
    uint8_t one = 5;
    EXPECT_EQ(unscrambleBlob(&one, 1), 2);
    EXPECT_EQ(one, 5);
}

TEST_F(Files, ReadOnlyDataComesFromTheUsersCopyFirstThenTheSharedOne) {
    std::string user = dir.path() + "user/", shared = dir.path() + "shared/";
    createDataDirectories(user.c_str());
    fs::create_directories(shared + "data");
    fs::create_directories(shared + "language");
    writeText(shared + "data/font.sff", "shared");
    writeText(shared + "language/vorfre.txt", "shared");
    char from[PATH_CAPACITY];
    // Not an installed copy: the data directory itself, whatever it holds.
    EXPECT_EQ(std::string(dataFileDirectory("font.sff", dataDirectory, from)), user + "data/");
    std::snprintf(sharedDataDirectory, sizeof sharedDataDirectory, "%s", shared.c_str());
    EXPECT_EQ(std::string(dataFileDirectory("font.sff", dataDirectory, from)), shared + "data/");
    EXPECT_EQ(std::string(dataFileDirectory("vorfre.txt", languageDirectory, from)), shared + "language/");
    writeText(user + "data/font.sff", "the user's own");
    EXPECT_EQ(std::string(dataFileDirectory("font.sff", dataDirectory, from)), user + "data/");
    // A file neither holds, and a directory that has no shared counterpart, stay where they were asked for.
    EXPECT_EQ(std::string(dataFileDirectory("inter.stf", dataDirectory, from)), user + "data/");
    EXPECT_EQ(std::string(dataFileDirectory("vorfre.txt", saveDirectory, from)), user + "save/");
    sharedDataDirectory[0] = '\0';
}

TEST_F(Files, DriveListStartsAtTheRootAndIndexesByLongestPrefix) {
    listDrives();
    ASSERT_GE(driveList.count, 1);
    EXPECT_STREQ(driveList.roots[0], "/");
    for (int32_t i = 0; i < driveList.count; i++) EXPECT_EQ(driveIndex(driveList.roots[i]), i);
    EXPECT_EQ(driveIndex("relative/path"), -1);
}
