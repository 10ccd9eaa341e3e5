#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
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

std::vector<std::string> tableTexts(int32_t h) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < stringTableCount(h); i++) out.push_back(stringTableText(h, i));
    return out;
}
}  // namespace

TEST_F(Files, ReadWholeFileReportsMissingAndEmptyFiles) {
    uint8_t* buffer = (uint8_t*)memAlloc(nullptr, 5, "test", __LINE__);
    int32_t size = 123;
    EXPECT_EQ(readWholeFile("missing", d(), &buffer, &size), -1);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(size, -1);
    writeText(dir.file("empty"), "");
    EXPECT_EQ(readWholeFile("empty", d(), &buffer, &size), -1);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(size, 0);
    writeText(dir.file("five"), "hello");
    ASSERT_EQ(readWholeFile("five", d(), &buffer, &size), 0);
    EXPECT_EQ(size, 5);
    EXPECT_EQ(memBlockSize(buffer) >= 5, true);
    EXPECT_EQ(std::memcmp(buffer, "hello", 5), 0);
    buffer = (uint8_t*)memFree(buffer, "test", __LINE__);
    // A directory is not a file that can be read.
    fs::create_directory(dir.file("sub"));
    EXPECT_EQ(readWholeFile("sub", d(), &buffer, &size), -1);
    EXPECT_EQ(buffer, nullptr);
}

TEST_F(Files, WriteOverwritesCompletelyAndSizeZeroLeavesAnEmptyFile) {
    ASSERT_EQ(writeWholeFile("f", d(), "long content", 12), 0);
    ASSERT_EQ(writeWholeFile("f", d(), "ab", 2), 0);
    EXPECT_EQ(readBytes(dir.file("f")), (std::vector<uint8_t>{'a', 'b'}));
    ASSERT_EQ(writeWholeFile("f", d(), nullptr, 0), 0);
    EXPECT_TRUE(fs::exists(dir.file("f")));
    EXPECT_EQ(fs::file_size(dir.file("f")), 0u);
    EXPECT_EQ(writeWholeFile("f", (dir.path() + "nope/").c_str(), "x", 1), -1);
}

TEST_F(Files, CopyAndCompare) {
    writeText(dir.file("a"), "same bytes");
    ASSERT_EQ(copyWholeFile("b", d(), "a", d()), 0);
    EXPECT_EQ(compareFiles("a", d(), "b", d()), 0);
    EXPECT_EQ(compareFiles("a", d(), "a", d()), 0);
    writeText(dir.file("c"), "same bytez");
    EXPECT_EQ(compareFiles("a", d(), "c", d()), -1);
    writeText(dir.file("short"), "same");
    EXPECT_EQ(compareFiles("a", d(), "short", d()), -1);
    EXPECT_EQ(compareFiles("a", d(), "missing", d()), -1);
    EXPECT_EQ(copyWholeFile("x", d(), "missing", d()), -1);
    EXPECT_FALSE(fileExistsIn("x", d()));
    EXPECT_EQ(fileSize("a", d()), 10);
    EXPECT_EQ(fileSize("missing", d()), -1);
    EXPECT_EQ(deleteFile("a", d()), 0);
    EXPECT_FALSE(fileExistsIn("a", d()));
}

TEST_F(Files, PathsLongerThanTheBuffersFailCleanly) {
    std::string longName(3000, 'n');
    char out[PATH_CAPACITY];
    std::strcpy(out, "keep");
    EXPECT_EQ(joinPath(out, d(), longName.c_str()), -1);
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
    fileNamePart(out, (std::string(2100, 'p')).c_str());
    EXPECT_STREQ(out, "");
    replaceExtension(out, (std::string(2046, 'r') + ".x").c_str(), "jpeg");
    EXPECT_STREQ(out, "");
    char join[PATH_CAPACITY];
    std::strcpy(join, "/a/");
    EXPECT_EQ(joinPath(join, join, "b"), 0);  // out may be dir itself
    EXPECT_STREQ(join, "/a/b");
}

TEST_F(Files, ExtensionsAndNameParts) {
    char out[PATH_CAPACITY];
    fileExtension(out, "archive.tar.gz");
    EXPECT_STREQ(out, "gz");
    fileExtension(out, ".dae");
    EXPECT_STREQ(out, "dae");
    fileExtension(out, "README");
    EXPECT_STREQ(out, "");
    replaceExtension(out, "model.dae", "jpg");
    EXPECT_STREQ(out, "model.jpg");
    replaceExtension(out, "model", "jpg");
    EXPECT_STREQ(out, "model.jpg");
    replaceExtension(out, ".hidden", "jpg");
    EXPECT_STREQ(out, ".hidden.jpg");
    stripExtension(out, "a.b.c");
    EXPECT_STREQ(out, "a.b");
    fileNamePart(out, "/home/u/model.dae");
    EXPECT_STREQ(out, "model.dae");
    fileNamePart(out, "C:\\models\\wood.png");  // documents made on Windows name files this way
    EXPECT_STREQ(out, "wood.png");
    fileNamePart(out, "bare");
    EXPECT_STREQ(out, "bare");
    std::strcpy(out, "untouched");
    directoryPart(out, "bare");
    EXPECT_STREQ(out, "untouched");
    directoryPart(out, "/home/u/model.dae");
    EXPECT_STREQ(out, "/home/u/");
}

TEST_F(Files, DepthPrefixAndComponent) {
    const char* p = "/home/user/texture_import/";
    char out[PATH_CAPACITY];
    EXPECT_EQ(pathDepth(p), 3);
    pathPrefix(0, out, p);
    EXPECT_STREQ(out, "/home");
    pathPrefix(1, out, p);
    EXPECT_STREQ(out, "/home/user");
    pathPrefix(2, out, p);
    EXPECT_STREQ(out, "/home/user/texture_import");
    pathComponent(pathDepth(p) - 1, out, p);
    EXPECT_STREQ(out, "texture_import");
    pathComponent(0, out, p);
    EXPECT_STREQ(out, "home");
    pathComponent(7, out, p);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(pathDepth("noseparator"), -1);
}

TEST_F(Files, EnterDirectoryGoesUpAndStopsAtTheRoot) {
    char path[PATH_CAPACITY] = "/models/cars/";
    enterDirectory("..", path);
    EXPECT_STREQ(path, "/models/");
    std::strcpy(path, "/models/cars/");
    enterDirectory(".", path);
    EXPECT_STREQ(path, "/models/");
    enterDirectory("..", path);
    EXPECT_STREQ(path, "/");
    enterDirectory("..", path);
    EXPECT_STREQ(path, "/");
    std::strcpy(path, "cars/");  // no separator before the last component
    enterDirectory("..", path);
    EXPECT_STREQ(path, "cars/");
    path[0] = '\0';
    enterDirectory("..", path);
    EXPECT_STREQ(path, "");
    std::strcpy(path, "/a/");
    enterDirectory("b", path);
    EXPECT_STREQ(path, "/a/b/");
}

TEST_F(Files, MakeDirectoriesCreatesEachMissingLevel) {
    fs::create_directory(dir.file("x"));
    writeText(dir.file("x/keep"), "k");
    std::string target = dir.path() + "x/y/z/";
    makeDirectories(target.c_str());
    EXPECT_TRUE(fs::is_directory(dir.file("x/y/z")));
    EXPECT_EQ(readBytes(dir.file("x/keep")).size(), 1u);
    // Without a trailing separator the last level is not created.
    makeDirectories((dir.path() + "p/q").c_str());
    EXPECT_TRUE(fs::is_directory(dir.file("p")));
    EXPECT_FALSE(fs::exists(dir.file("p/q")));
}

TEST_F(Files, PatternsFollowTheWildcardRulesWithoutCase) {
    EXPECT_TRUE(patternMatches("*.*", "README"));
    EXPECT_TRUE(patternMatches("*.*", "a.b"));
    EXPECT_TRUE(patternMatches("*.dae", "Model.DAE"));
    EXPECT_FALSE(patternMatches("*.dae", "model.dae.bak"));
    EXPECT_TRUE(patternMatches("N_*.JPG", "N_0001_T_00_A_0_Q_0_x.jpg"));
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
    EXPECT_EQ(tableTexts(files), (std::vector<std::string>{"A.dae", "b.dae"}));
    uint8_t v[4] = {0, 0, 0, 0};
    stringTableValue(files, 1, v);
    EXPECT_EQ(v[3], 4);
    int32_t dirs = listDirectories("*.*", d(), value);
    EXPECT_EQ(tableTexts(dirs), (std::vector<std::string>{".", "..", "Alpha", "beta", "zeta"}));
    int32_t none = listFiles("*.xyz", d(), value);
    EXPECT_GE(none, 0);
    EXPECT_EQ(stringTableCount(none), 0);

    EXPECT_EQ(countFiles("*.*", d()), 4);
    EXPECT_EQ(countDirectories("*.*", d()), 5);
    EXPECT_EQ(countFiles("*.dae", (dir.path() + "missing/").c_str()), 0);

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
    EXPECT_GE(scrambled[1], 1);
    EXPECT_LE(scrambled[1], 128);
    EXPECT_NE(std::vector<uint8_t>(scrambled.begin() + 2, scrambled.end()), plain);
    // Byte i is plain[i] ^ (K + i * S) mod 256.
    EXPECT_EQ(scrambled[2 + 5], (uint8_t)(plain[5] ^ (uint8_t)(scrambled[0] + 5 * scrambled[1])));
    EXPECT_EQ(unscrambleBlob(scrambled.data(), (int32_t)scrambled.size()), 2);
    EXPECT_EQ(std::vector<uint8_t>(scrambled.begin() + 2, scrambled.end()), plain);
    EXPECT_EQ(scrambleFile("missing", d()), -1);
    uint8_t one = 5;
    EXPECT_EQ(unscrambleBlob(&one, 1), 2);
    EXPECT_EQ(one, 5);
}

TEST_F(Files, ProgramDirectoryFromVcvHomeGetsTheDataDirectories) {
    std::string home = dir.path() + "home";  // without a trailing separator on purpose
    setenv("VCV_HOME", home.c_str(), 1);
    findProgramDirectory();
    unsetenv("VCV_HOME");
    EXPECT_EQ(std::string(programDirectory), home + "/");
    EXPECT_EQ(std::string(saveDirectory), home + "/save/");
    EXPECT_EQ(std::string(logDirectory), home + "/log/");
    for (const char* sub : {"data", "language", "save", "screenshots", "update", "log"})
        EXPECT_TRUE(fs::is_directory(home + "/" + sub)) << sub;
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
    EXPECT_EQ(driveList.types[0], DRIVE_FIXED);
    for (int32_t i = 0; i < driveList.count; i++) {
        size_t len = std::strlen(driveList.roots[i]);
        EXPECT_EQ(driveList.roots[i][len - 1], '/');
        EXPECT_EQ(driveIndex(driveList.roots[i]), i);
    }
    EXPECT_EQ(driveIndex("relative/path"), -1);
}
