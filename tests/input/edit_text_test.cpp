#include <string>
#include <vector>

#include "input_fixture.h"

namespace {
// A heap buffer of exactly size bytes, so that AddressSanitizer sees any write past it.
struct Buffer {
    explicit Buffer(int32_t size, const char* text = "") : bytes(new char[size]), size(size) {
        std::memset(bytes, 0x7F, (size_t)size);
        textCopy(bytes, text, size);
    }
    ~Buffer() { delete[] bytes; }
    char* bytes;
    int32_t size;
};

class EditText : public InputTest {
protected:
    int32_t edit(Buffer& b, int32_t kind = TEXT_ANY) { return editText(kind, b.bytes, b.size, &cursor, &changed); }
    // edit until the queue is empty.
    void editAll(Buffer& b, int32_t kind = TEXT_ANY) {
        for (int calls = 0; keyQueue().count > keyQueue().readPosition && calls < 1000; calls++) edit(b, kind);
    }
    int32_t cursor = 0;
    uint8_t changed = 0;
};
}  // namespace

TEST_F(EditText, OneCodePerCallAndEnterLeavesLaterCodesQueued) {
    Buffer b(16);
    type("hi");
    inputKeyEvent(KEY_ENTER, 1);
    type("y");
    for (const char* expected : {"h", "hi"}) {
        EXPECT_EQ(edit(b), 0);
        EXPECT_STREQ(b.bytes, expected);
        EXPECT_EQ(cursor, (int32_t)std::strlen(expected));
        EXPECT_EQ(changed, 1);
    }
    textCursor().blinkTimer = 700.0f;
    EXPECT_EQ(edit(b), 1);
    EXPECT_EQ(textCursor().blinkTimer, 0.0f);
    EXPECT_EQ(edit(b), 0);
    EXPECT_STREQ(b.bytes, "hiy");
    edit(b);
    EXPECT_EQ(changed, 0);  // nothing left
}

TEST_F(EditText, KindsFilterCharacters) {
    Buffer number(16), name(16);
    type("a1.b2");
    editAll(number, TEXT_NUMBER);
    EXPECT_STREQ(number.bytes, "1.2");
    cursor = 0;
    type("a_Z9- !.");
    inputCharEvent(0xE9);
    editAll(name, TEXT_NAME);
    EXPECT_STREQ(name.bytes, "a_Z9\xE9");
}

TEST_F(EditText, EditingKeysMoveAndDelete) {
    Buffer b(16, "abc");
    cursor = 0;
    inputKeyEvent(KEY_BACKSPACE, 1);
    EXPECT_EQ(edit(b), 0);
    EXPECT_STREQ(b.bytes, "abc");  // nothing before the cursor
    EXPECT_TRUE(cursor == 0 && changed == 1);
    inputKeyEvent(KEY_DEL, 1);    // "bc"
    inputKeyEvent(KEY_RIGHT, 1);  // b|c
    inputKeyEvent(KEY_RIGHT, 1);  // bc|
    inputKeyEvent(KEY_RIGHT, 1);  // stays at the end
    inputKeyEvent(KEY_DEL, 1);    // nothing at the end
    inputKeyEvent(KEY_BACKSPACE, 1);
    edit(b);
    EXPECT_STREQ(b.bytes, "b");
    EXPECT_EQ(cursor, 1);
    inputKeyEvent(KEY_LEFT, 1);
    inputKeyEvent(KEY_LEFT, 1);
    inputCharEvent('x');
    editAll(b);
    EXPECT_STREQ(b.bytes, "xb");

    // Tab and Esc are no characters: (char)293 would otherwise land in the text.
    inputKeyEvent(KEY_TAB, 1);
    inputKeyEvent(KEY_ESC, 1);
    edit(b);
    EXPECT_STREQ(b.bytes, "xb");
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(keyQueue().count, 0);
}

TEST_F(EditText, FullBufferKeepsItsTerminator) {
    Buffer b(6, "abcde");  // five characters fill six bytes
    cursor = 2;
    type("XY");
    editAll(b);
    EXPECT_STREQ(b.bytes, "abcde");
    EXPECT_EQ(cursor, 2);
    inputKeyEvent(KEY_DEL, 1);  // room for one again
    type("XY");
    editAll(b);
    EXPECT_STREQ(b.bytes, "abXde");
    cursor = 5;
    inputKeyEvent(KEY_BACKSPACE, 1);
    inputKeyEvent(KEY_BACKSPACE, 1);
    type("123");
    editAll(b);
    EXPECT_STREQ(b.bytes, "abX12");
    // A text without a terminator inside the buffer is cut rather than read past.
    Buffer raw(4);
    std::memset(raw.bytes, 'q', 4);
    cursor = 9;  // beyond the text: clamped
    type("r");
    editAll(raw);
    EXPECT_STREQ(raw.bytes, "qqq");
    Buffer one(1);
    type("s");
    editAll(one);
    EXPECT_STREQ(one.bytes, "");
    EXPECT_EQ(editText(TEXT_ANY, nullptr, 8, &cursor, &changed), 0);
}
