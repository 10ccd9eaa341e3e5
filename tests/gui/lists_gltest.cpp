// List boxes, drop-down lists and scroll bars in a real context, driven by real input events through
// the input layer; what the walk drew is read back from the frame buffer.
#include <cmath>
#include <string>
#include <vector>

#include "gui_fixture.h"

namespace {
// Row i's text colour: its red tells the rows apart on screen.
uint8_t rowRed(int i) { return (uint8_t)(40 + 10 * i); }

class Lists : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        // Lists on a black panel, so that only their text is bright.
        listBoxTemplate.colour = Rgba8{0, 0, 0, 255};
        window = createWindow(-1);
    }

    // Pressed at (cx, y0), moved to (cx, y1), released.
    static void drag(float cx, float y0, float y1) {
        hold(cx, y0, 1);
        releaseAt(cx, y1);
    }
    // A list box (1000, 500)-(2000, 1040): its content box is 500 high from y 520; row i's text
    // stands at 520 + 100 i + 10 .. + 64, in the row's colour.
    int32_t list(int rows) {
        place(listBoxTemplate, 1000, 500, 2000, 1040);
        int32_t l = createListBox(window);
        addRows(l, 0, rows);
        return l;
    }
    static void addRows(int32_t l, int from, int to) {
        for (int i = from; i < to; i++) {
            uint8_t colour[4] = {rowRed(i), 255, 255, 255};
            stringTableAdd(listBoxGet(l)->strings, ("row" + std::to_string(i)).c_str(), colour);
        }
    }
    // A scroll bar bound to the list: arrows 140 square at y 200 and 1860, a track 1240 long.
    ScrollBar* scrollBar(int32_t target) {
        place(scrollBarTemplate, 2200, 200, 2340, 2000);
        scrollBarTemplate.target = target;
        return scrollBarGet(createScrollBar(window));
    }
    int32_t window = -1;
};

TEST_F(Lists, AScrolledListShowsFiveRowsOfTwentyAndItsThumbReachesTheLast) {
    int32_t l = list(20);
    ScrollBar* bar = scrollBar(l);
    frame();
    EXPECT_FLOAT_EQ(bar->max, 1900.0f);
    for (int i = 0; i < 5; i++) EXPECT_EQ(red(1040, 520 + 100 * i + 40), rowRed(i)) << i;
    // Row 5 would stand just below the box: the scissor keeps the white window there.
    EXPECT_EQ(red(1040, 1070), 255);

    // Hold the down arrow: 0.6 units a millisecond from the frame after the press, never past the end.
    frameDeltaMs = 10;
    hold(2270, 1930, 11);
    EXPECT_NEAR(bar->value, 60.0f, 0.01f);
    EXPECT_EQ(bar->changed, 1);
    EXPECT_FLOAT_EQ(listBoxGet(l)->scroll, -bar->value);
    frameDeltaMs = 1000;
    for (int i = 0; i < 5; i++) frame();
    EXPECT_FLOAT_EQ(bar->value, 1900.0f);
    release();
    frame();
    // The up arrow, held as long, stops at the top.
    hold(2270, 270, 5);
    EXPECT_FLOAT_EQ(bar->value, 0.0f);
    frameDeltaMs = 16;
    release();
    frame();
    // Drag the thumb (340 .. 620 at the top): it follows the pointer (720 units of 1240 are 1103 of
    // 1900), stops at the end, and the list shows row 19 at its top.
    drag(2270, 480, 1200);
    EXPECT_NEAR(bar->value, 720.0f * 1900 / 1240, 0.5f);
    drag(2270, 1200, 2950);
    EXPECT_EQ(bar->dragBy, 0);
    EXPECT_FLOAT_EQ(bar->value, 1900.0f);
    frame();
    EXPECT_EQ(red(1040, 560), rowRed(19));
    EXPECT_EQ(red(1040, 660), 0);  // nothing below the last row

    // More rows change the range: the bar starts again at the top.
    addRows(l, 20, 25);
    frame();
    EXPECT_FLOAT_EQ(bar->max, 2400.0f);
    EXPECT_FLOAT_EQ(bar->value, 0.0f);
}

TEST_F(Lists, ClicksSelectRowsAndReportClicksAndDoubleClicks) {
    int32_t l = list(20);
    ListBox* box = listBoxGet(l);
    // Row 2, then the selected row again (a click, but no change), then two quick clicks on row 3.
    const struct { float y; int clicks, selected, changed, doubleClicked; } steps[] = {
        {770, 1, 2, 1, 0}, {750, 1, 2, 0, 0}, {850, 2, 3, 1, 1}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.y);
        box->changed = box->clicked = box->doubleClicked = 0;
        pause();
        for (int i = 0; i < s.clicks; i++) click(1500, s.y);
        EXPECT_EQ(box->selected, s.selected);
        EXPECT_EQ(box->clicked, 1);
        EXPECT_EQ(box->changed, s.changed);
        EXPECT_EQ(box->doubleClicked, s.doubleClicked);
    }
    // A click below the last row selects nothing new.
    box->clicked = 0;
    stringTableClear(box->strings);
    addRows(l, 0, 2);
    pause();
    click(1500, 950);
    EXPECT_EQ(box->clicked, 0);
    EXPECT_EQ(box->selected, 3);  // a stale index, drawn as nothing and read by no one
}

// Two drop-downs side by side; each list has rows "row0" .. "row3".
TEST_F(Lists, DropDownsOpenOneAtATimeAndShowTheEntryPicked) {
    auto dropDown = [&](float x0) {
        place(dropDownTemplate, x0, 100, x0 + 900, 220);
        int32_t d = createDropDown(window);
        addRows(dropDownGet(d)->list, 0, 4);
        return d;
    };
    int32_t a = dropDown(100), b = dropDown(1500);
    DropDown* da = dropDownGet(a);
    DropDown* db = dropDownGet(b);
    EXPECT_EQ(buttonTemplate.text, nullptr);  // the template is left as it was
    EXPECT_EQ(buttonTemplate.iconMode, 255);
    ListBox* la = listBoxGet(da->list);
    ListBox* lb = listBoxGet(db->list);
    auto shown = [](const DropDown* d) { return std::string(labelGet(buttonGet(d->button)->label)->text); };
    EXPECT_EQ(shown(da), "...");
    EXPECT_EQ(la->header.visible, 0);
    frame();
    EXPECT_EQ(shown(da), "row0");  // the first frame shows the selected entry

    click(500, 160);
    frame();
    EXPECT_EQ(la->header.visible, 1);
    EXPECT_FLOAT_EQ(la->y1, 220 + 4 * 100 + 60);
    // While it is open only it reacts: a press on the other button lands on the window and closes it.
    click(1900, 160);
    frame();
    EXPECT_EQ(la->header.visible, 0);
    EXPECT_EQ(lb->header.visible, 0);
    EXPECT_EQ(buttonGet(db->button)->clicked, 0);

    // Both buttons report a click in the same frame: the second to open closes the first.
    buttonGet(da->button)->clicked = 1;
    buttonGet(db->button)->clicked = 1;
    frame();
    EXPECT_EQ(la->header.visible, 0);
    EXPECT_EQ(lb->header.visible, 1);
    pause();
    click(3500, 2500);  // the window's background
    EXPECT_EQ(lb->header.visible, 0);
    EXPECT_EQ(lb->header.depth, 0);

    // Open the first and pick its entry 2 (rows from 240, 100 each).
    pause();
    click(500, 160);
    frame();
    ASSERT_EQ(la->header.visible, 1);
    click(500, 490);
    frame();
    EXPECT_EQ(la->header.visible, 0);
    EXPECT_EQ(da->picked, 1);
    EXPECT_EQ(da->selected, 2);
    EXPECT_EQ(shown(da), "row2");
    // The table shrank under the pick (to just below it): the stale entry is not read and the button
    // keeps its text.
    stringTableClear(la->strings);
    addRows(da->list, 0, 2);
    frame();
    EXPECT_EQ(shown(da), "row2");

    // A drop-down whose list was freed does nothing; freeing the window frees the rest once.
    freeListBox(db->list);
    buttonGet(db->button)->clicked = 1;
    frame();
    EXPECT_EQ(buttonGet(db->button)->clicked, 1);
    int32_t buttonOfB = db->button;
    EXPECT_EQ(freeDropDown(b), -1);
    EXPECT_EQ(buttonGet(buttonOfB), nullptr);
    EXPECT_EQ(freeWindow(window), -1);
    EXPECT_EQ(dropDownGet(a), nullptr);
}

TEST_F(Lists, AListOfNoneOrOneEntryHasNoThumbAndNoNumbersGoWrong) {
    int32_t l = list(0);
    ScrollBar* bar = scrollBar(l);
    auto settled = [&](const char* when) {
        EXPECT_EQ(bar->value, 0.0f) << when;
        EXPECT_EQ(bar->max, 0.0f) << when;
        EXPECT_EQ(bar->dragBy, 0) << when;
        EXPECT_FALSE(std::isnan(listBoxGet(l)->scroll)) << when;
    };
    for (int rows = 0; rows <= 1; rows++) {
        frame();
        settled("drawn");
        drag(2270, 480, 2900);  // where a thumb would be
        settled("dragged");
        hold(2270, 1930, 2);  // the down arrow
        release();
        frame();
        settled("arrow");
        addRows(l, 0, 1);
        pause();
    }
    // A second entry makes a range of one row.
    frame();
    EXPECT_FLOAT_EQ(bar->max, 100.0f);
    // A scroll bar whose list is gone keeps drawing its arrows and nothing else breaks.
    freeListBox(l);
    frame();
    EXPECT_FLOAT_EQ(bar->max, 100.0f);
}
}  // namespace
