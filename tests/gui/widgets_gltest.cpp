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
        windowTemplate.x0 = x0;
        windowTemplate.y0 = y0;
        windowTemplate.x1 = x1;
        windowTemplate.y1 = y1;
        windowTemplate.layer = layer;
        return createWindow(-1);
    }
    static int32_t button(int32_t w, float x0, float y0, float x1, float y1, uint8_t group = GROUP_NONE) {
        buttonTemplate.x0 = x0;
        buttonTemplate.y0 = y0;
        buttonTemplate.x1 = x1;
        buttonTemplate.y1 = y1;
        buttonTemplate.group = group;
        return createButton(w);
    }
};
}  // namespace

TEST_F(Widgets, AButtonClicksOnlyWhenPressedAndReleasedInside) {
    int32_t w = window(0, 0, 2000, 2000);
    int32_t b = button(w, 100, 100, 900, 500);
    // Pressed inside, dragged out, released: drawn pressed meanwhile, no click.
    pointAt(500, 300);
    frame();
    press();
    frame();
    EXPECT_EQ(buttonGet(b)->pressedBy, 2);
    pointAt(1500, 1500);
    frame();
    release();
    frame();
    EXPECT_EQ(buttonGet(b)->pressedBy, 0);
    EXPECT_FALSE(takeClick(b));
    // Pressed and released inside: one click, read once.
    click(500, 300);
    EXPECT_TRUE(takeClick(b));
    EXPECT_FALSE(takeClick(b));
    EXPECT_EQ(buttonGet(b)->checked, 0);  // a push button never stays checked
}

TEST_F(Widgets, RadioGroupsKeepOneCheckedAndAGroupOfOneToggles) {
    int32_t w = window(0, 0, 4000, 2000);
    int32_t radio[3] = {button(w, 100, 100, 900, 500, 2), button(w, 1000, 100, 1900, 500, 2),
                        button(w, 2000, 100, 2900, 500, 2)};
    int32_t check = button(w, 100, 1000, 900, 1400, 7);
    for (int k : {1, 0, 2, 2}) {
        click(500 + 900 * k, 300);
        for (int i = 0; i < 3; i++) EXPECT_EQ(buttonGet(radio[i])->checked, i == k ? 1 : 0) << k;
    }
    click(500, 1200);
    EXPECT_EQ(buttonGet(check)->checked, 1);
    click(500, 1200);
    EXPECT_EQ(buttonGet(check)->checked, 0);
}

TEST_F(Widgets, OnlyTheTopLayerReactsAndLowerLayersAreDimmed) {
    int32_t low = window(0, 0, 2000, 2000, 0);
    int32_t b = button(low, 100, 100, 900, 500);
    window(2500, 0, 3500, 1000, 3);
    click(500, 300);
    EXPECT_FALSE(takeClick(b));
    EXPECT_EQ(buttonGet(b)->pressedBy, 0);
    // White art in a white window: 255 on top, 255 * 7 / 10 below it.
    EXPECT_EQ(red(1500, 1500), 178);
    EXPECT_EQ(red(3000, 500), 255);
    Rgba8 in{90, 180, 255, 128}, out{};
    guiWindow(low)->colour.a = 224;
    widgetColour(low, 3, 1, &in, &out);
    EXPECT_EQ((int)out.r, 63);
    EXPECT_EQ((int)out.g, 126);
    EXPECT_EQ((int)out.b, 178);
    EXPECT_EQ((int)out.a, 112);
}

TEST_F(Widgets, TheTopWindowSwallowsClicksOnItsBackgroundOnly) {
    window(0, 0, 2000, 2000, INT_MAX);  // a huge layer costs one pass, not billions
    pointAt(1000, 1000);
    frame();
    press();
    frame();
    EXPECT_EQ(mouseState().mouseEvent, 0);
    release();
    frame();
    pointAt(3000, 2500);
    frame();
    press();
    frame();
    EXPECT_EQ(mouseState().mouseEvent, 1);  // outside every window: left for the application
    release();
}

TEST_F(Widgets, APressReleasedWhereTheButtonCouldNotSeeItIsForgotten) {
    int32_t w = window(0, 0, 4000, 2000);
    // Drawn first, so it takes the pointer where the two overlap.
    int32_t front = button(w, 800, 100, 1600, 500);
    int32_t back = button(w, 100, 100, 1200, 500);
    pointAt(300, 300);
    frame();
    press();
    frame();
    ASSERT_EQ(buttonGet(back)->pressedBy, 2);
    pointAt(1400, 300);  // onto the front button, which now has the token
    frame();
    release();
    frame();
    pointAt(300, 300);  // hovering over the back button again
    frame();
    frame();
    EXPECT_FALSE(takeClick(back));
    EXPECT_FALSE(takeClick(front));
}

TEST_F(Widgets, PicturesReportWhereTheyWerePressed) {
    int32_t w = window(0, 0, 4000, 3000);
    pictureTemplate.x0 = 1000;
    pictureTemplate.y0 = 1000;
    pictureTemplate.x1 = 2000;
    pictureTemplate.y1 = 1500;
    int32_t p = createPicture(w);
    click(1500, 1250);
    EXPECT_EQ(pictureGet(p)->pressedBy, 2);
    EXPECT_FLOAT_EQ(pictureGet(p)->pressX, 50.0f);
    EXPECT_FLOAT_EQ(pictureGet(p)->pressY, 50.0f);
    EXPECT_EQ(pictureGet(p)->hover, 1);
}

TEST_F(Widgets, ABlinkingLabelIsHiddenForTheFirstHalfOfEvery600Ms) {
    windowTemplate.hasBackground = 0;
    int32_t w = window(0, 0, 4000, 3000);
    labelTemplate.x0 = 1000;
    labelTemplate.y0 = 1000;
    labelTemplate.x1 = 3000;
    labelTemplate.y1 = 1064;
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
    // A new text replaces the old one; freeing the window frees the label once.
    setLabelText(l, labelGet(l)->text);
    EXPECT_STREQ(labelGet(l)->text, "AAAA");
    EXPECT_EQ(freeWindow(w), -1);
    EXPECT_EQ(labelGet(l), nullptr);
    EXPECT_EQ(freeWindow(w), -1);
}

TEST_F(Widgets, HandlesAreCheckedAndScreensReopenInPlace) {
    buttonTemplate.text = (char*)"OK";
    int32_t w = window(0, 0, 1000, 1000);
    int32_t b = button(w, 0, 0, 500, 200);
    buttonTemplate.text = nullptr;
    int32_t label = buttonGet(b)->label;
    ASSERT_NE(labelGet(label), nullptr);
    // Reopening a screen through its handle replaces it: the old one's widgets are gone.
    int32_t again = createWindow(w);
    EXPECT_EQ(again, w);
    EXPECT_EQ(buttonGet(b), nullptr);
    EXPECT_EQ(labelGet(label), nullptr);
    EXPECT_EQ(freeButton(b), -1);
    EXPECT_EQ(freeLabel(label), -1);
    EXPECT_EQ(freeWindow(-1), -1);
    EXPECT_EQ(freeWindow(12345), -1);
    EXPECT_FALSE(takeClick(b));
}
