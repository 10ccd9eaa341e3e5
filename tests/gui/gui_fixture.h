// The shared fixture of the toolkit's tests in a real context: an 800 x 600 window showing the
// 4000 x 3000 canvas, an interface set of white images, a font in which every character is a white
// square, and every widget template filled with a visible, white, skinned widget. Pointer and
// button events go through the input layer as the window glue delivers them, and what the frame
// walk drew is read back from the frame buffer. A suite derives from GuiTest, calls GuiTest::SetUp()
// first and then changes what it needs differently.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gui/draw.h"
#include "gui/edit_field.h"
#include "gui/font.h"
#include "gui/gui.h"
#include "gui/lists.h"
#include "gui/widgets.h"
#include "input/input.h"
#include "render/gl.h"
#include "render/render_state.h"
#include "strings/string_table.h"
#include "support/gl_window.h"
#include "system/clock.h"
#include "texsets/interface_sets.h"

class GuiTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 800, kHeight = 600;
    static constexpr int32_t kSkin = 1;  // the tests' interface set: white images 0 .. 35

    // One window and context for the whole suite.
    static void SetUpTestSuite() {
        ASSERT_TRUE(openTestWindow("gui test", kWidth, kHeight));
        render_init();
        render_resize(kWidth, kHeight);
    }
    static void TearDownTestSuite() {
        render_shutdown();
        closeTestWindow();
    }
    // Fresh modules, the white skin and font, the 16 ms frame, and the templates.
    void SetUp() override {
        stringsInit();
        inputInit();
        guiInit();
        std::vector<uint8_t> white(4 * 4 * 4, 255);
        for (int32_t i = 0; i < 36; i++) uploadSetImage(kSkin, i, 0, white.data(), 4, 4);
        // A font of one white page in which every character is a square.
        fontSet = kSkin;
        for (auto& g : fontMetrics[0]) g = GlyphRect{0, 0, 1, 1};
        currentStyle = TextStyle{};
        currentStyle.glyphScale = currentStyle.glyphHeight = 64;
        currentStyle.textColour = Rgba8{255, 255, 255, 255};
        frameDeltaMs = 16;
        fillTemplates();
    }
    void TearDown() override {
        guiShutdown();  // frees the test's sets and the font too
        inputShutdown();
        stringsShutdown();
    }

    // Pointer at a canvas position (the window is 1/5 of the canvas).
    static void pointAt(float cx, float cy) { inputCursorEvent(cx * kWidth / 4000.0, cy * kHeight / 3000.0); }
    static void press() { inputMouseButtonEvent(0, 1); }
    static void release() { inputMouseButtonEvent(0, 0); }
    // One frame of the interface over a black screen.
    static void frame() {
        updateMouse();
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        begin2d(4000, 3000);
        drawInterface();
    }
    // Pointed at, pressed and released, a frame each.
    static void click(float cx, float cy) {
        pointAt(cx, cy);
        frame();
        press();
        frame();
        release();
        frame();
    }
    // Pointed at and pressed, then held for n frames (released by the caller).
    static void hold(float cx, float cy, int n) {
        pointAt(cx, cy);
        frame();
        press();
        for (int i = 0; i < n; i++) frame();
    }
    // Moved to a canvas position and released there, a frame each (after hold).
    static void releaseAt(float cx, float cy) {
        pointAt(cx, cy);
        frame();
        release();
        frame();
    }
    // Sets a template's (or widget's) rectangle.
    template <typename T>
    static void place(T& t, float x0, float y0, float x1, float y1) {
        t.x0 = x0;
        t.y0 = y0;
        t.x1 = x1;
        t.y1 = y1;
    }
    // Lets the double-click timer run out, so that the next click is a single one.
    static void pause() {
        frameDeltaMs = 600;
        frame();
        frameDeltaMs = 16;
    }
    // The window pixel at column x, row y from the top, as 0xRRGGBB.
    static uint32_t at(int x, int y) {
        uint8_t p[3] = {0, 0, 0};
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(x, kHeight - 1 - y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
        return (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2];
    }
    // Red of the pixel under a canvas position.
    static int red(float cx, float cy) { return (int)(at((int)(cx * kWidth / 4000), (int)(cy * kHeight / 3000)) >> 16); }

private:
    // Every template visible, white and skinned from kSkin; a window covers the whole canvas.
    static void fillTemplates() {
        const Rgba8 white{255, 255, 255, 255};
        windowTemplate = GuiWindow{};
        windowTemplate.hasBackground = windowTemplate.visible = 1;
        windowTemplate.frameSet = windowTemplate.fillSet = kSkin;
        windowTemplate.border = 40;
        windowTemplate.colour = white;
        place(windowTemplate, 0, 0, 4000, 3000);
        buttonTemplate = Button{};
        buttonTemplate.header.visible = 1;
        buttonTemplate.skinSet = kSkin;
        buttonTemplate.innerBorder = buttonTemplate.outerBorder = 20;
        buttonTemplate.colour = white;
        buttonTemplate.iconMode = 255;
        buttonTemplate.group = GROUP_NONE;
        labelTemplate = Label{};
        labelTemplate.header.visible = 1;
        labelTemplate.style = currentStyle;
        pictureTemplate = Picture{};
        pictureTemplate.header.visible = 1;
        pictureTemplate.set = kSkin;
        pictureTemplate.hoverSet = -1;
        pictureTemplate.colour = white;
        listBoxTemplate = ListBox{};
        listBoxTemplate.header.visible = 1;
        listBoxTemplate.frameSet = listBoxTemplate.highlightSet = listBoxTemplate.fillSet = kSkin;
        listBoxTemplate.border = 20;
        listBoxTemplate.colour = white;
        listBoxTemplate.rowHeight = 100;
        dropDownTemplate = DropDown{};
        dropDownTemplate.header.visible = 1;
        scrollBarTemplate = ScrollBar{};
        scrollBarTemplate.header.visible = 1;
        scrollBarTemplate.buttonSize = 140;
        scrollBarTemplate.arrowSet = scrollBarTemplate.thumbSet = kSkin;
        scrollBarTemplate.mode = SCROLL_BOUND_TO_LIST;
        editFieldTemplate = EditField{};
        editFieldTemplate.header.visible = 1;
        editFieldTemplate.frameSet = editFieldTemplate.fillSet = kSkin;
        editFieldTemplate.border = 20;
        editFieldTemplate.colour = white;
        editFieldTemplate.style = currentStyle;
    }
};
