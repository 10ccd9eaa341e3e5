#include <algorithm>
#include <vector>

#include "input_fixture.h"

namespace {
std::vector<int32_t> drain() {
    std::vector<int32_t> out;
    int32_t code = 0;
    while (nextQueued(&code)) out.push_back(code);
    return out;
}
}  // namespace

using Keys = InputTest;
using Queue = InputTest;

TEST(KeyTable, HoldsTheStoredNumberingWithCaretForApostrophe) {
    // These numbers are stored in vorinput.stf: a shift would silently rebind every saved key.
    const int32_t codes[][2] = {{KEY_ESC, 257}, {KEY_F25, 282}, {KEY_UP, 283},     {KEY_RALT, 292},
                                {KEY_DEL, 297}, {KEY_KP_9, 311}, {KEY_KP_ENTER, 318}, {keyTable[0], 32},
                                {keyTable[1], KEY_ESC}, {keyTable[62], KEY_KP_ENTER}, {keyTable[63], '!'},
                                {keyTable[KEY_TABLE_SIZE - 1], '~'}};
    for (const auto& c : codes) EXPECT_EQ(c[0], c[1]);
    EXPECT_EQ(std::count(keyTable, keyTable + KEY_TABLE_SIZE, '^'), 2);
    EXPECT_EQ(keyIndex('\''), -1);
    EXPECT_EQ(keyIndex('^'), 69);  // the first of the two
    EXPECT_EQ(keyIndex('A'), 63 + 'A' - 33);
    EXPECT_EQ(keyIndex(0), -1);
    EXPECT_EQ(keyIndex(KEY_LAST + 1), -1);
}

TEST_F(Keys, StatesFollowEventsAndFocus) {
    inputKeyEvent('A', 1);
    inputKeyEvent(KEY_SPACE, 1);
    EXPECT_TRUE(keyDown('A'));
    EXPECT_EQ(firstKeyDown(), KEY_SPACE);  // table order, not press order
    inputKeyEvent(KEY_SPACE, 0);
    EXPECT_EQ(firstKeyDown(), 'A');
    inputKeyEvent(KEY_LAST, 1);
    EXPECT_TRUE(keyDown(KEY_LAST));
    for (int32_t code : {-7, 100000, KEY_LAST + 1}) {  // codes the layer keeps no state for
        inputKeyEvent(code, 1);
        EXPECT_FALSE(keyDown(code));
    }
    inputFocusEvent(0);
    EXPECT_FALSE(keyDown('A'));
    EXPECT_EQ(firstKeyDown(), -1);
    inputKeyEvent('\'', 1);  // not in the table, so not found
    EXPECT_EQ(firstKeyDown(), -1);
}

TEST_F(Keys, ATapBetweenTwoFramesCountsForOneFrame) {
    // Ctrl+Q typed while a slow frame was drawn: both presses and releases arrive before the next.
    for (int32_t code : {(int32_t)KEY_LCTRL, (int32_t)'Q'}) inputKeyEvent(code, 1);
    for (int32_t code : {(int32_t)KEY_LCTRL, (int32_t)'Q'}) inputKeyEvent(code, 0);
    inputFrame();
    EXPECT_TRUE(keyDown('Q') && keyDown(KEY_LCTRL));
    inputFrame();
    EXPECT_FALSE(keyDown('Q') || keyDown(KEY_LCTRL));
}

TEST_F(Queue, TakesEditingKeysAndCharactersOnPressOnly) {
    inputKeyEvent('A', 1);  // a letter arrives as a character, not as a key
    inputKeyEvent(KEY_F1, 1);
    inputKeyEvent(KEY_BACKSPACE, 1);
    inputKeyEvent(KEY_BACKSPACE, 1);  // repeat
    inputKeyEvent(KEY_BACKSPACE, 0);
    inputKeyEvent(KEY_TAB, 1);
    inputKeyEvent(KEY_ESC, 1);
    inputCharEvent('a');
    inputCharEvent(0xE9);
    inputCharEvent(0x20AC);  // beyond one byte: dropped
    inputCharEvent(0);
    EXPECT_EQ(drain(), (std::vector<int32_t>{KEY_BACKSPACE, KEY_BACKSPACE, KEY_TAB, KEY_ESC, 'a', 0xE9}));

    inputSettings().inputMode = INPUT_MODE_ACTION;
    inputCharEvent('b');
    inputKeyEvent(KEY_ENTER, 1);
    EXPECT_EQ(keyQueue().count, 0);
}

TEST_F(Queue, WhenFullDropsWithoutOverflowAndWorksAgainOnceDrained) {
    for (int32_t i = 0; i < KEY_QUEUE_CAPACITY + 40; i++) inputCharEvent(1 + i % 200);
    inputKeyEvent(KEY_ENTER, 1);
    EXPECT_EQ(keyQueue().count, KEY_QUEUE_CAPACITY);
    int32_t code = 0;
    ASSERT_TRUE(nextQueued(&code));
    inputCharEvent('z');  // still full until drained
    std::vector<int32_t> rest = drain();
    ASSERT_EQ(rest.size(), (size_t)KEY_QUEUE_CAPACITY - 1);
    EXPECT_EQ(rest.back(), 1 + (KEY_QUEUE_CAPACITY - 1) % 200);
    inputCharEvent('z');
    EXPECT_EQ(drain(), std::vector<int32_t>{'z'});
    inputCharEvent('q');
    clearQueue();
    EXPECT_FALSE(nextQueued(&code));
}
