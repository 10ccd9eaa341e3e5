// The edit field in a real context, typed into through the input layer's own events: characters and
// editing keys are queued as the window glue delivers them and the frame walk applies them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/draw.h"
#include "gui/edit_field.h"
#include "gui/font.h"
#include "gui/gui.h"
#include "input/input.h"
#include "render/gl.h"
#include "render/render_state.h"
#include "support/gl_window.h"
#include "system/clock.h"
#include "texsets/interface_sets.h"

namespace {
constexpr int kWidth = 800, kHeight = 600;
constexpr int32_t kSkin = 1, kFont = 2;

class EditFieldTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(openTestWindow("edit field test", kWidth, kHeight));
        render_init();
        render_resize(kWidth, kHeight);
    }
    static void TearDownTestSuite() {
        render_shutdown();
        closeTestWindow();
    }
    void SetUp() override {
        inputInit();
        guiInit();
        // The skin is black, the font's squares white: what is white in the field is text.
        std::vector<uint8_t> black(4 * 4 * 4, 0), white(4 * 4 * 4, 255);
        for (size_t i = 3; i < black.size(); i += 4) black[i] = 255;
        for (int32_t i = 0; i < 3; i++) uploadSetImage(kSkin, i, 0, black.data(), 4, 4);
        uploadSetImage(kFont, 0, 0, white.data(), 4, 4);
        fontSet = kFont;
        for (auto& g : fontMetrics[0]) g = GlyphRect{0, 0, 1, 1};
        frameDeltaMs = 16;
        windowTemplate = GuiWindow{};
        windowTemplate.x1 = 4000;
        windowTemplate.y1 = 3000;
        windowTemplate.visible = 1;
        windowTemplate.colour = Rgba8{255, 255, 255, 255};  // its alpha is every widget's
        editFieldTemplate = EditField{};
        editFieldTemplate.header.visible = 1;
        editFieldTemplate.frameSet = editFieldTemplate.fillSet = kSkin;
        editFieldTemplate.x0 = 1000;
        editFieldTemplate.y0 = 1000;
        editFieldTemplate.x1 = 3000;
        editFieldTemplate.y1 = 1200;
        editFieldTemplate.border = 20;
        editFieldTemplate.colour = Rgba8{255, 255, 255, 255};
        editFieldTemplate.style.glyphScale = editFieldTemplate.style.glyphHeight = 100;
        editFieldTemplate.style.textColour = Rgba8{255, 255, 255, 255};
        editFieldTemplate.focusId = 7;
    }
    void TearDown() override {
        guiShutdown();  // frees both sets
        inputShutdown();
    }

    static void frame() {
        updateMouse();
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        begin2d(4000, 3000);
        drawInterface();
    }
    static void frames(int n) {
        for (int i = 0; i < n; i++) frame();
    }
    static void click(float cx, float cy) {
        inputCursorEvent(cx * kWidth / 4000.0, cy * kHeight / 3000.0);
        frame();
        inputMouseButtonEvent(0, 1);
        frame();
        inputMouseButtonEvent(0, 0);
        frame();
    }
    static void type(const std::string& text) {
        for (char c : text) inputCharEvent((uint8_t)c);
    }
    static int red(float cx, float cy) {
        uint8_t p[4];
        glReadPixels((int)(cx * kWidth / 4000), kHeight - 1 - (int)(cy * kHeight / 3000), 1, 1, GL_RGBA,
                     GL_UNSIGNED_BYTE, p);
        return p[0];
    }
};
}  // namespace

TEST_F(EditFieldTest, ANumberFieldTakesTheFocusOnAClickAndKeepsWithinItsLength) {
    int32_t w = createWindow(-1);
    editFieldTemplate.filter = TEXT_NUMBER;
    editFieldTemplate.maxLength = 4;
    int32_t f = createEditField(w);
    EditField* field = editFieldGet(f);
    ASSERT_NE(field, nullptr);

    // Without the focus typing goes nowhere (not even later, into the field) and no cursor shows.
    type("9");
    frames(2);
    EXPECT_STREQ(field->text, "");
    EXPECT_EQ(red(1130, 1100), 0);

    // A click in the hidden half of the blink period shows the cursor in the same frame.
    textCursor().blinkTimer = 900;
    inputCursorEvent(1500 * kWidth / 4000.0, 1100 * kHeight / 3000.0);
    frame();
    inputMouseButtonEvent(0, 1);
    frame();
    EXPECT_EQ(guiWindow(w)->focus, 7);
    EXPECT_LT(textCursor().blinkTimer, 1.0f);
    EXPECT_EQ(red(1060, 1100), 255);  // the cursor square at the start of the text box
    inputMouseButtonEvent(0, 0);
    frame();

    // Letters are refused, one accepted character per frame.
    type("a1.b2");
    frames(6);
    EXPECT_STREQ(field->text, "1.2");
    EXPECT_EQ(field->cursor, 3);
    // A full field refuses the rest, and the buffer keeps its terminator.
    type("345");
    frames(4);
    EXPECT_STREQ(field->text, "1.23");
    EXPECT_EQ(field->cursor, 4);
    inputKeyEvent(KEY_BACKSPACE, 1);
    inputKeyEvent(KEY_BACKSPACE, 0);
    frame();
    EXPECT_STREQ(field->text, "1.2");
    EXPECT_EQ(field->edited, 1);
    frame();
    EXPECT_EQ(field->edited, 0);
    inputKeyEvent(KEY_ENTER, 1);
    inputKeyEvent(KEY_ENTER, 0);
    frame();
    EXPECT_EQ(field->submitted, 1);

    // setEditText: exactly maxLength characters is refused, one fewer is taken with the cursor at 0.
    setEditText(f, "5678");
    EXPECT_STREQ(field->text, "1.2");
    setEditText(f, "567");
    EXPECT_STREQ(field->text, "567");
    EXPECT_EQ(field->cursor, 0);

    // Lengths outside the limits are clamped, so the buffer is never empty nor huge.
    editFieldTemplate.maxLength = 0;
    EXPECT_EQ(editFieldGet(createEditField(w))->maxLength, EDIT_MIN_LENGTH);
    editFieldTemplate.maxLength = 1 << 30;
    EXPECT_EQ(editFieldGet(createEditField(w))->maxLength, EDIT_MAX_LENGTH);
    freeWindow(w);
    EXPECT_EQ(editFieldGet(f), nullptr);
}
