// The viewer's baked sets (font.stf, inter.stf) become textures as they were drawn: every image a
// power of two on each side (no resampling on upload) and none compressed by the driver.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "render/gl.h"
#include "render/render_state.h"
#include "strings/string_table.h"
#include "support/gl_window.h"
#include "support/test_support.h"
#include "pack/jpeg_decoder.h"
#include "system/files.h"
#include "texsets/interface_sets.h"
#include "texsets/set_file.h"

TEST(BakedSets, LoadAsUncompressedTexturesOfTheirDrawnSize) {
    ASSERT_TRUE(openTestWindow("baked sets test", 320, 240));
    render_init();
    stringsInit();
    interfaceSizeLimit = 2048;
    interfaceFilterMode = 2;
    TempDir home;
    installViewerData(home.path());
    const std::string data = home.path() + "data/";

    int32_t font = loadInterfaceSet(-1, -1, "font.stf", data.c_str(), 0);
    ASSERT_NE(font, -1);
    SetImage* page = setImageGet(font, 0);
    ASSERT_NE(page->texture, 0u);
    EXPECT_EQ(page->width, 1024);
    EXPECT_EQ(page->height, 1024);
    bindSetImage(font, 0);
    EXPECT_EQ(levelParam(GL_TEXTURE_COMPRESSED), GL_FALSE);
    EXPECT_EQ(firstFreeImage(font), 1);

    // The pictures' own sizes, from their JPEG headers.
    std::vector<uint8_t> bytes = readBytes(data + "inter.stf");
    ASSERT_GT(bytes.size(), 2u);
    unscrambleBlob(bytes.data(), (int32_t)bytes.size());
    std::vector<std::pair<int32_t, int32_t>> drawn;
    SetFileCursor cursor;
    SetFileRecord record;
    setFileBegin(&cursor, bytes.data(), (int32_t)bytes.size(), 2);
    while (setFileNext(&cursor, &record) == 0) {
        int32_t w = 0, h = 0;
        jpeg_image_size(record.data, record.size, &w, &h);
        drawn.push_back({w, record.alpha == 1 ? h / 2 : h});
    }
    ASSERT_EQ(drawn.size(), 36u);

    int32_t inter = loadInterfaceSet(-1, -1, "inter.stf", data.c_str(), 0);
    ASSERT_NE(inter, -1);
    EXPECT_EQ(firstFreeImage(inter), 36);
    for (int32_t i = 0; i < 36; i++) {
        SCOPED_TRACE("image " + std::to_string(i));
        SetImage* image = setImageGet(inter, i);
        ASSERT_NE(image->texture, 0u);
        bindSetImage(inter, i);
        EXPECT_EQ(levelParam(GL_TEXTURE_COMPRESSED), GL_FALSE);
        // Uploaded as drawn: no side was cut to a power of two or to the aspect limit.
        EXPECT_EQ(image->width, drawn[i].first);
        EXPECT_EQ(image->height, drawn[i].second);
        EXPECT_EQ(levelParam(GL_TEXTURE_WIDTH), image->width);
    }
    EXPECT_EQ(setImageGet(inter, 35)->width, 1024);
    EXPECT_EQ(setImageGet(inter, 35)->height, 512);

    freeInterfaceSet(font);
    freeInterfaceSet(inter);
    stringsShutdown();
    render_shutdown();
    closeTestWindow();
}
