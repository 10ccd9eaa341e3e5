// Windows, buttons, labels and pictures in a real context, driven by real input events: the pointer
// and buttons go through the input layer as the window glue delivers them, and what the walk drew is
// read back from the frame buffer.
#include <climits>
#include <vector>

#include "gui_fixture.h"

namespace {
class Widgets : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        buttonTemplate.skinImage = 5;
    }

    static int32_t window(float x0, float y0, float x1, float y1, int32_t layer = 0) {
        place(windowTemplate, x0, y0, x1, y1);
        windowTemplate.layer = layer;
        return createWindow(-1);
    }
    static int32_t button(int32_t w, float x0, float y0, float x1, float y1, uint8_t group = GROUP_NONE) {
        place(buttonTemplate, x0, y0, x1, y1);
        buttonTemplate.group = group;
        return createButton(w);
    }
};
}  // namespace

TEST_F(Widgets, ButtonsClickOnlyWhenPressedAndReleasedInsideAndRadioGroupsKeepOneChecked) {
    int32_t w = window(0, 0, 4000, 2000);
    int32_t b = button(w, 100, 100, 900, 500);
    // Pressed inside, dragged out, released: drawn pressed meanwhile, no click.
    hold(500, 300, 1);
    EXPECT_EQ(buttonGet(b)->pressedBy, 2);
    releaseAt(1500, 1500);
    EXPECT_EQ(buttonGet(b)->pressedBy, 0);
    EXPECT_FALSE(takeClick(b));
    // Pressed and released inside: one click, read once; a push button never stays checked.
    click(500, 300);
    EXPECT_TRUE(takeClick(b));
    EXPECT_FALSE(takeClick(b));
    EXPECT_EQ(buttonGet(b)->checked, 0);

    // A press that moves onto a button drawn before (which takes the pointer where they overlap)
    // and is released there is forgotten by both.
    int32_t front = button(w, 2000, 100, 2800, 500);
    int32_t back = button(w, 1300, 100, 2400, 500);
    hold(1500, 300, 1);
    ASSERT_EQ(buttonGet(back)->pressedBy, 2);
    releaseAt(2600, 300);
    pointAt(1500, 300);  // hovering over the back button again
    frame();
    frame();
    EXPECT_FALSE(takeClick(back));
    EXPECT_FALSE(takeClick(front));

    // Radio buttons keep one checked; a group of one toggles.
    int32_t radio[3] = {button(w, 100, 1000, 900, 1400, 2), button(w, 1000, 1000, 1900, 1400, 2),
                        button(w, 2000, 1000, 2900, 1400, 2)};
    int32_t check = button(w, 3000, 1000, 3900, 1400, 7);
    for (int k : {1, 0, 2, 2}) {
        click(500 + 900 * k, 1200);
        for (int i = 0; i < 3; i++) EXPECT_EQ(buttonGet(radio[i])->checked, i == k ? 1 : 0) << k;
    }
    for (int checked : {1, 0}) {
        click(3500, 1200);
        EXPECT_EQ(buttonGet(check)->checked, checked);
    }
}

TEST_F(Widgets, OnlyTheTopLayerReactsLowerLayersAreDimmedAndItsBackgroundSwallowsClicks) {
    int32_t low = window(0, 0, 2000, 2000, 0);
    int32_t b = button(low, 100, 100, 900, 500);
    int32_t top = window(2500, 0, 3500, 1000, INT_MAX);  // a huge layer costs one pass, not billions
    click(500, 300);
    EXPECT_FALSE(takeClick(b));
    EXPECT_EQ(buttonGet(b)->pressedBy, 0);
    // White art in a white window: 255 on top, 255 * 7 / 10 below it.
    EXPECT_EQ(red(1500, 1500), 178);
    EXPECT_EQ(red(3000, 500), 255);
    Rgba8 in{90, 180, 255, 128}, out{};
    guiWindow(low)->colour.a = 224;
    widgetColour(low, 3, 1, &in, &out);
    EXPECT_EQ(std::vector<int>({out.r, out.g, out.b, out.a}), std::vector<int>({63, 126, 178, 112}));
    // A press on the top window's background is its own; outside every window it is the application's.
    freeWindow(low);
    for (float x : {3000.0f, 1000.0f}) {
        hold(x, 500, 1);
        EXPECT_EQ(mouseState().mouseEvent, x == 3000.0f ? 0 : 1) << x;
        release();
        frame();
    }
    EXPECT_EQ(freeWindow(top), -1);
}

TEST_F(Widgets, PicturesReportWhereTheyWerePressedAndABlinkingLabelHidesHalfOfEvery600Ms) {
    windowTemplate.hasBackground = 0;
    int32_t w = window(0, 0, 4000, 3000);
    place(pictureTemplate, 1000, 2000, 2000, 2500);
    int32_t p = createPicture(w);
    click(1500, 2250);
    EXPECT_EQ(pictureGet(p)->pressedBy, 2);
    EXPECT_FLOAT_EQ(pictureGet(p)->pressX, 50.0f);
    EXPECT_FLOAT_EQ(pictureGet(p)->pressY, 50.0f);
    EXPECT_EQ(pictureGet(p)->hover, 1);

    place(labelTemplate, 1000, 1000, 3000, 1064);
    labelTemplate.layout = LAYOUT_LEFT;
    labelTemplate.blink = 1;
    labelTemplate.text = (char*)"AAAA";
    int32_t l = createLabel(w);
    labelTemplate.text = nullptr;
    frameDeltaMs = 100;
    std::vector<int> shown;
    for (int i = 0; i < 7; i++) {
        frame();
        shown.push_back(red(1100, 1032) == 255 ? 1 : 0);
    }
    // Its clock reads 100, 200, ... 600, then 100 again.
    EXPECT_EQ(shown, (std::vector<int>{0, 0, 1, 1, 1, 1, 0}));
    // A new text replaces the old one, even when it is the old one.
    setLabelText(l, labelGet(l)->text);
    EXPECT_STREQ(labelGet(l)->text, "AAAA");
}

TEST_F(Widgets, HandlesAreCheckedAndScreensReopenInPlace) {
    buttonTemplate.text = (char*)"OK";
    int32_t w = window(0, 0, 1000, 1000);
    int32_t b = button(w, 0, 0, 500, 200);
    buttonTemplate.text = nullptr;
    int32_t label = buttonGet(b)->label;
    ASSERT_NE(labelGet(label), nullptr);
    // Reopening a screen through its handle replaces it: the old one's widgets are gone.
    EXPECT_EQ(createWindow(w), w);
    EXPECT_EQ(buttonGet(b), nullptr);
    EXPECT_EQ(labelGet(label), nullptr);
    // Freeing a window frees it once; handles that name none are refused.
    for (int32_t h : {w, w, -1, 12345}) EXPECT_EQ(freeWindow(h), -1) << h;
    EXPECT_EQ(guiWindow(w), nullptr);
}
