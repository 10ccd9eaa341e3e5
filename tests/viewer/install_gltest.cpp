// The installed program: cmake --install of this build into a temporary prefix, then the installed
// vcv, its desktop entry and its thumbnailer as a desktop would use them.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "window_shot.h"

namespace {
bool exists(const std::string& path) { return std::filesystem::exists(path); }

// The installed programs are this build's sanitized ones; leaks are checked by the in-process tests.
const std::string kRunEnv = "env -u VCV_HOME ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 ";
}  // namespace

TEST(Installed, FindsItsDataKeepsTheUsersFilesApartAndIntegratesWithTheDesktop) {
    TempDir root;
    const std::string prefix = root.path() + "prefix/", home = root.path() + "home/";
    int code = -1;
    std::string out = runCommand("cmake --install '" + std::string(VCV_BINARY_DIR) + "' --prefix '" + prefix +
                                     "' 2>&1",
                                 &code);
    ASSERT_EQ(code, 0) << out;
    for (const char* file : {"bin/vcv", "bin/vcvtool", "bin/vcv-thumbnailer", "share/vcv/data/font.sff",
                             "share/vcv/data/font.stf", "share/vcv/data/inter.stf", "share/vcv/language/vorfre.txt",
                             "share/applications/vcv.desktop", "share/icons/hicolor/48x48/apps/vcv.png",
                             "share/icons/hicolor/256x256/apps/vcv.png", "share/thumbnailers/vcv.thumbnailer",
                             "share/doc/vcv/LICENSE"})
        EXPECT_TRUE(exists(prefix + file)) << file;
    EXPECT_EQ(loadPicture(prefix + "share/icons/hicolor/48x48/apps/vcv.png").width, 48);

    // Run as a user would: the writable directories go to the user's data directory, the font
    // and interface images come from the prefix, and nothing is written beside the program.
    std::filesystem::create_directories(home);
    const std::string sample = sourceDirectory() + "assets/sample/sample.dae";
    const std::string shot = root.path() + "installed.png";
    out = runCommand(kRunEnv + "HOME='" + home + "' XDG_DATA_HOME= '" + prefix + "bin/vcv' --frames 5 --screenshot '" +
                         shot + "' '" + sample + "' 2>&1",
                     &code);
    ASSERT_EQ(code, 0) << out;
    // The model's directory becomes the browse directory, as a pick in the file dialog makes it.
    std::vector<uint8_t> cfg = readBytes(home + ".local/share/vcv/save/vcv.cfg");
    ASSERT_EQ(cfg.size(), 2048u);
    EXPECT_EQ(std::string((const char*)cfg.data()),
              std::filesystem::canonical(sourceDirectory() + "assets/sample").string() + "/");
    EXPECT_TRUE(exists(home + ".local/share/vcv/data/texture_import/texture_import.stf"));
    EXPECT_FALSE(exists(prefix + "bin/data"));
    EXPECT_FALSE(exists(prefix + "bin/save"));
    // The menu bar (canvas (20, 20)-(3420, 180)) is drawn with its art and texts: dark with bright
    // letters. Without the data files it would be a bare light band.
    Shot png = loadPicture(shot);
    ASSERT_EQ(png.width, 800);
    int dark = 0, bright = 0, total = 0;
    for (int y = 6; y < 34; y++)
        for (int x = 8; x < 680; x++) {
            const uint8_t* p = &png.rgb[((size_t)y * png.width + x) * 3];
            int luma = (p[0] + p[1] + p[2]) / 3;
            dark += luma < 96;
            bright += luma > 140;
            total++;
        }
    EXPECT_GT(dark, total / 2);
    EXPECT_GT(bright, 30);
    // Below it the model, textured: the wood gives many distinct warm tones, a flat colour a handful.
    std::set<uint32_t> warm;
    for (size_t i = 3 * 40 * 800; i + 2 < png.rgb.size(); i += 3) {
        const uint8_t* p = &png.rgb[i];
        if (p[0] > p[2] + 40 && p[1] > p[2]) warm.insert(p[0] << 16 | p[1] << 8 | p[2]);
    }
    EXPECT_GT(warm.size(), 200u);

    // XDG_DATA_HOME, when set, holds the user's files.
    const std::string xdg = root.path() + "xdg";
    out = runCommand(kRunEnv + "HOME='" + home + "' XDG_DATA_HOME='" + xdg + "' '" + prefix + "bin/vcv' --frames 2 2>&1",
                     &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_TRUE(exists(xdg + "/vcv/save/vcv.cfg"));

    ASSERT_FALSE(runCommand("command -v desktop-file-validate").empty())
        << "desktop-file-validate is missing (package desktop-file-utils, scripts/install-deps)";
    out = runCommand("desktop-file-validate '" + prefix + "share/applications/vcv.desktop' 2>&1", &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_EQ(out, "");

    // The thumbnailer as a file manager calls it: a PNG of exactly the size asked for, and nothing
    // left in the user's home.
    std::filesystem::remove_all(home + ".local");
    const std::string thumb = root.path() + "thumb.png";
    out = runCommand(kRunEnv + "HOME='" + home + "' '" + prefix + "bin/vcv-thumbnailer' 96 '" + sample + "' '" + thumb +
                         "' 2>&1",
                     &code);
    ASSERT_EQ(code, 0) << out;
    Shot t = loadPicture(thumb);
    EXPECT_EQ(t.width, 96);
    EXPECT_EQ(t.height, 96);
    EXPECT_TRUE(std::filesystem::is_empty(home));
    // A document that gives no model gives no thumbnail.
    writeText(root.file("broken.dae"), "<COLLADA>");
    runCommand(kRunEnv + "'" + prefix + "bin/vcv-thumbnailer' 96 '" + root.file("broken.dae") + "' '" +
                   root.file("none.png") + "' 2>&1",
               &code);
    EXPECT_NE(code, 0);
    EXPECT_FALSE(exists(root.file("none.png")));
}
