// The edit field in a real context, typed into through the input layer's own events: characters and
// editing keys are queued as the window glue delivers them and the frame walk applies them.
#include <string>
#include <vector>

#include "gui_fixture.h"

namespace {
constexpr int32_t kBlackSkin = 2;

class EditFieldTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        // The field's skin is black, the font's squares white: what is white in the field is text.
        std::vector<uint8_t> black(4 * 4 * 4, 0);
        for (size_t i = 3; i < black.size(); i += 4) black[i] = 255;
        for (int32_t i = 0; i < 3; i++) uploadSetImage(kBlackSkin, i, 0, black.data(), 4, 4);
        windowTemplate.hasBackground = 0;  // no panel, but its colour's alpha is still every widget's
        editFieldTemplate.frameSet = editFieldTemplate.fillSet = kBlackSkin;
        place(editFieldTemplate, 1000, 1000, 3000, 1200);
        editFieldTemplate.style.glyphScale = editFieldTemplate.style.glyphHeight = 100;
        editFieldTemplate.focusId = 7;
    }

    static void frames(int n) {
        for (int i = 0; i < n; i++) frame();
    }
    static void type(const std::string& text) {
        for (char c : text) inputCharEvent((uint8_t)c);
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
    hold(1500, 1100, 1);
    EXPECT_EQ(guiWindow(w)->focus, 7);
    EXPECT_LT(textCursor().blinkTimer, 1.0f);
    EXPECT_EQ(red(1060, 1100), 255);  // the cursor square at the start of the text box
    release();
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
