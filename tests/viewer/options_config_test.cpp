#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "system/files.h"
#include "viewer/config.h"
#include "viewer/options.h"

namespace {
int32_t parse(AppOptions* o, std::vector<std::string> args) {
    args.insert(args.begin(), "vcv");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    optionsDefault(o);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int32_t r = optionsParse(o, (int)argv.size(), argv.data());
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    return r;
}
}  // namespace

TEST(Options, CommandLine) {
    AppOptions o;
    ASSERT_EQ(parse(&o, {}), 0);
    EXPECT_EQ(o.frames, 0);
    EXPECT_EQ(o.width, 800);
    EXPECT_EQ(o.height, 600);
    EXPECT_STREQ(o.model, "");
    ASSERT_EQ(parse(&o, {"--frames", "5", "--screenshot", "out.png", "--size", "1024x700", "--up", "y", "model.dae"}), 0);
    EXPECT_EQ(o.frames, 5);
    EXPECT_STREQ(o.screenshot, "out.png");
    EXPECT_EQ(o.width, 1024);
    EXPECT_EQ(o.height, 700);
    EXPECT_STREQ(o.model, "model.dae");
    EXPECT_EQ(o.up, 'Y');
    EXPECT_EQ(parse(&o, {"--help"}), 1);
    EXPECT_EQ(parse(&o, {"--version"}), 1);
    for (auto bad : std::vector<std::vector<std::string>>{{"--frames"},
                                                           {"--frames", "0"},
                                                           {"--frames", "3x"},
                                                           {"--size", "800"},
                                                           {"--size", "800x600x"},
                                                           {"--size", "-5x600"},
                                                           {"--up", "W"},
                                                           {"--up", "YZ"},
                                                           {"--bogus"},
                                                           {"a.dae", "b.dae"},
                                                           {std::string(3000, 'm')}})
        EXPECT_EQ(parse(&o, bad), -1) << bad[0];
}

TEST(ViewerConfig, BrowseDirectoryRoundTripsAndBadFilesLeaveTheDefault) {
    TempDir dir;
    createDataDirectories(dir.path().c_str());
    std::string save = dir.path() + "save/";
    for (const char* home : {"/home/viewer/", "/home/viewer"}) {
        setenv("HOME", home, 1);
        loadViewerConfig();
        EXPECT_STREQ(browseDirectory, "/home/viewer/") << home;
    }

    std::strcpy(browseDirectory, "/models/cars/");
    ASSERT_EQ(saveViewerConfig(), 0);
    std::vector<uint8_t> file = readBytes(save + "vcv.cfg");
    ASSERT_EQ(file.size(), 2048u);
    std::strcpy(browseDirectory, "changed");
    loadViewerConfig();
    EXPECT_STREQ(browseDirectory, "/models/cars/");

    writeText(save + "vcv.cfg", "/short/");
    loadViewerConfig();
    EXPECT_STREQ(browseDirectory, "/home/viewer/");

    // A full-size file without any terminator must still give a terminated text.
    writeBytes(save + "vcv.cfg", std::vector<uint8_t>(4096, 'x'));
    loadViewerConfig();
    EXPECT_EQ(std::strlen(browseDirectory), 2047u);

    // Only the record is read from a huge file (a sparse 3 GB file here: reading it whole would
    // take gigabytes).
    std::vector<uint8_t> record(2048, 0);
    std::memcpy(record.data(), "/big/", 5);
    writeBytes(save + "vcv.cfg", record);
    std::filesystem::resize_file(save + "vcv.cfg", 3ull << 30);
    loadViewerConfig();
    EXPECT_STREQ(browseDirectory, "/big/");

    // A save that cannot be written leaves the old file as it was, and no temporary file.
    std::filesystem::remove(save + "vcv.cfg");
    writeBytes(save + "vcv.cfg", record);
    std::filesystem::create_directories(save + "vcv.cfg.new/x");  // the temporary name is taken
    std::strcpy(browseDirectory, "/other/");
    testing::internal::CaptureStderr();
    EXPECT_EQ(saveViewerConfig(), -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot save the settings"), std::string::npos);
    EXPECT_EQ(readBytes(save + "vcv.cfg"), record);
    std::filesystem::remove_all(save + "vcv.cfg.new");
    ASSERT_EQ(saveViewerConfig(), 0);
    EXPECT_FALSE(std::filesystem::exists(save + "vcv.cfg.new"));
    EXPECT_EQ(std::string((const char*)readBytes(save + "vcv.cfg").data()), "/other/");
}
