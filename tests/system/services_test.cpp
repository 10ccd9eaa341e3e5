#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/test_support.h"
#include "system/clock.h"
#include "system/console.h"
#include "system/files.h"
#include "system/messages.h"
#include "system/random.h"
#include "system/shell.h"
#include "system/system.h"

TEST(Clock, ResetThenBenchmarkShowsNearZeroAndTicksMeasureSleeps) {
    systemStart();
    clockReset();
    EXPECT_EQ(frameDeltaMs, 0.0f);
    testing::internal::CaptureStderr();
    showBenchmark();
    std::string shown = testing::internal::GetCapturedStderr();
    ASSERT_EQ(shown.rfind("VORTEN: BenchMark ms=", 0), 0u) << shown;
    EXPECT_LT(std::atof(shown.c_str() + std::strlen("VORTEN: BenchMark ms=")), 50.0);
    clockTick();
    sleepMs(20);
    clockTick();
    EXPECT_TRUE(frameDeltaMs >= 19.0f && frameDeltaMs < 2000.0f) << frameDeltaMs;
}

TEST(Random, IntegersStayInRangeAndTheTopValueNeedsTheTopOfTheGenerator) {
    // Each round replays one generator value through randomNext and through the mapping.
    for (uint32_t i = 0; i < 20000; i++) {
        const uint32_t seed = i * 2654435761u;
        seedRandom(seed);
        int32_t r = randomNext();
        seedRandom(seed);
        int32_t v = randomInt(0, 255);
        seedRandom(seed);
        int32_t step = randomInt(1, 128);
        seedRandom(seed);
        float f = randomFloat(-1.0f, 1.0f);
        ASSERT_TRUE(v >= 0 && v <= 255 && step >= 1 && step <= 128 && f >= -1.0f && f <= 1.0f) << r;
        EXPECT_EQ(v == 255, r >= 32640) << r;
    }
    seedRandom(1);
    EXPECT_EQ(randomNext(), 41);  // the C runtime's first value for seed 1, which the file formats rely on
}

TEST(Time, SecondsBetweenDatesAndLocalTimeIsPlausible) {
    EXPECT_EQ(secondsBetween(0, 0, 12, 2, 3, 2024, 0, 0, 12, 1, 3, 2024), 86400);
    EXPECT_EQ(secondsBetween(30, 1, 0, 1, 1, 2020, 0, 0, 0, 1, 1, 2020), 90);
    LocalTime t;
    readLocalTime(&t);
    EXPECT_TRUE(t.year >= 2024 && t.month >= 1 && t.month <= 12 && t.day >= 1);
}

TEST(Messages, RepeatedTextIsShownOncePerSecond) {
    testing::internal::CaptureStderr();
    showMessage("no camera %d", 1);
    showMessage("no camera %d", 1);
    showMessage("other");
    showMessage("no camera %d", 1);  // a different text came between
    std::string shown = testing::internal::GetCapturedStderr();
    EXPECT_EQ(shown, "VORTEN: no camera 1\nVORTEN: other\nVORTEN: no camera 1\n");
}

TEST(Messages, LogLinesReplaceOrAppendWithCrLf) {
    TempDir dir;
    createDataDirectories(dir.path().c_str());
    std::string log = dir.path() + "log/";
    std::filesystem::remove(log);
    writeLogLine("run.log", 0, "first %d", 1);
    writeLogLine("run.log", 1, "second");
    EXPECT_EQ(readBytes(log + "run.log"), std::vector<uint8_t>({'f', 'i', 'r', 's', 't', ' ', '1', '\r', '\n',
                                                               's', 'e', 'c', 'o', 'n', 'd', '\r', '\n'}));
    writeLogLine("run.log", 0, "only");
    EXPECT_EQ(readBytes(log + "run.log").size(), 6u);
    clearLogFile("run.log");
    EXPECT_EQ(std::filesystem::file_size(log + "run.log"), 0u);
    clearLogFile("never.log");
    EXPECT_FALSE(std::filesystem::exists(log + "never.log"));
}

TEST(Console, LinesAreCutAt2047Characters) {
    consoleStart();
    for (int i = 0; i < 3000; i++) ASSERT_FALSE(consoleFeed('a' + i % 26));
    ASSERT_TRUE(consoleFeed('\r'));
    EXPECT_EQ(std::strlen(consoleLine.text), 2047u);
    EXPECT_EQ(consoleLine.text[2046], 'a' + 2046 % 26);
    consoleFeed('o');
    consoleFeed('k');
    ASSERT_TRUE(consoleFeed('\n'));
    EXPECT_STREQ(consoleLine.text, "ok");
    // Without a terminal on standard input (as under CTest) nothing is reported.
    EXPECT_FALSE(pollConsoleLine());
}

TEST(Shell, UserFoldersComeFromTheXdgFileAndLaunchersGoThere) {
    TempDir dir;
    std::string desktop = dir.path() + "Desk top";
    std::filesystem::create_directory(desktop);
    writeText(dir.file("user-dirs.dirs"), "# comment\nXDG_DESKTOP_DIR=\"" + desktop +
                                              "\"\nXDG_MUSIC_DIR=\"$HOME/Music\"\n");
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    char out[2048];
    ASSERT_EQ(shellFolderPath("Desktop", out), 0);
    EXPECT_EQ(std::string(out), desktop);
    ASSERT_EQ(shellFolderPath("My Music", out), 0);
    EXPECT_EQ(std::string(out), std::string(std::getenv("HOME")) + "/Music");
    std::strcpy(out, "untouched");
    EXPECT_EQ(shellFolderPath("Templates", out), 1);
    EXPECT_STREQ(out, "untouched");

    ASSERT_EQ(createShortcut("/opt/vcv/vcv", "Desktop", "COLLADA viewer", "/opt/vcv"), 0);
    std::vector<uint8_t> launcher = readBytes(desktop + "/us.desktop");
    std::string text(launcher.begin(), launcher.end());
    EXPECT_NE(text.find("Exec=\"/opt/vcv/vcv\""), std::string::npos);
    EXPECT_EQ(createShortcut("/x", "Templates", "d", "/"), -1);

    setenv("XDG_CONFIG_HOME", (dir.path() + "none").c_str(), 1);
    EXPECT_EQ(shellFolderPath("Desktop", out), 1);
    unsetenv("XDG_CONFIG_HOME");
}
