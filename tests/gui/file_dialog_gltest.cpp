// The file dialog over real directories, driven by real pointer and key events through the frame
// walk: browsing, picking, accepting, cancelling, and the limits of its result texts.
#include <cstring>
#include <string>
#include <vector>

#include "gui/file_dialog.h"
#include "gui_fixture.h"
#include "support/test_support.h"
#include "system/files.h"

namespace {
// With the dialog over the whole canvas and a frame of 40, the list's rows start at y 300 (its own
// border is 20) and are 100 high; the accept and cancel buttons sit in the bottom right corner.
constexpr float kRowX = 1000, kFirstRow = 300, kRow = 100;
constexpr float kAcceptX = 3210, kCancelX = 3710, kButtonsY = 2900, kNameY = 2770;

class FileDialogTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        buttonTemplate.innerBorder = buttonTemplate.outerBorder = 10;
        dropDownTemplate.iconSet = kSkin;
        editFieldTemplate.focusId = 3;

        fileDialogTemplate = FileDialog{};
        fileDialogTemplate.visible = 1;
        place(fileDialogTemplate, 0, 0, 4000, 3000);
        fileDialogTemplate.mode = 1;
        std::strcpy(fileDialogTemplate.pattern, "*.dae");
        std::strcpy(fileDialogTemplate.directory, tmp.path().c_str());
        std::strcpy(fileDialogTitle, "Open");
        std::strcpy(fileDialogAcceptText, "OK");
        std::strcpy(fileDialogCancelText, "Cancel");

        makeDirectories((tmp.path() + "models/cars/").c_str());
        makeDirectories((tmp.path() + "Zeta/").c_str());
        for (const char* name : {"a.dae", "B.DAE", "c.txt"}) writeText(tmp.file(name), "<COLLADA/>");
    }
    // One frame more, so that the dialog's routine has seen what its widgets reported.
    static void click(float cx, float cy) {
        GuiTest::click(cx, cy);
        frame();
    }
    // A single click after this one is not half of a double click.
    static void singleClick(float cx, float cy) {
        click(cx, cy);
        pause();
    }
    static void doubleClick(float cx, float cy) {
        click(cx, cy);
        click(cx, cy);
    }
    static float rowY(int32_t row) { return kFirstRow + kRow * (float)row + kRow / 2; }

    static std::vector<std::string> entries(const FileDialog* d, std::vector<bool>* isDirectory = nullptr) {
        std::vector<std::string> out;
        int32_t strings = listBoxGet(d->fileList)->strings;
        for (int32_t i = 0; i < stringTableCount(strings); i++) {
            out.push_back(stringTableText(strings, i));
            uint8_t v[4];
            stringTableValue(strings, i, v);
            if (isDirectory)
                isDirectory->push_back(v[0] == directoryColour.r && v[1] == directoryColour.g &&
                                       v[2] == directoryColour.b && v[3] == directoryColour.a);
        }
        return out;
    }
    static const char* nameText(const FileDialog* d) { return editFieldGet(d->nameField)->text; }

    TempDir tmp;
};
}  // namespace

TEST_F(FileDialogTest, BrowsingIntoADirectoryAndBackThenADoubleClickOnAFileAccepts) {
    int32_t h = createFileDialog();
    FileDialog* d = fileDialogGet(h);
    ASSERT_NE(d, nullptr);
    EXPECT_GT(guiWindow(d->window)->layer, 0);
    frame();
    // Directories first, then the matching files, each group in case-insensitive order.
    std::vector<bool> isDirectory;
    EXPECT_EQ(entries(d, &isDirectory), (std::vector<std::string>{".", "..", "models", "Zeta", "a.dae", "B.DAE"}));
    EXPECT_EQ(isDirectory, (std::vector<bool>{true, true, true, true, false, false}));
    EXPECT_EQ(listBoxGet(d->fileList)->selected, -1);
    EXPECT_STREQ(labelGet(d->pathLabel)->text, tmp.path().c_str());
    const ListBox* drives = listBoxGet(dropDownGet(d->driveList)->list);
    EXPECT_EQ(stringTableCount(drives->strings), driveList.count);
    EXPECT_EQ(drives->selected, driveIndex(tmp.path().c_str()));

    // Scrolled down a row, a double click on models enters it; the new listing starts at the top.
    scrollBarGet(d->scrollBar)->value = kRow;
    frame();
    doubleClick(kRowX, rowY(2) - kRow);
    EXPECT_EQ(std::string(d->directory), tmp.path() + "models/");
    EXPECT_EQ(entries(d), (std::vector<std::string>{".", "..", "cars"}));
    EXPECT_EQ(scrollBarGet(d->scrollBar)->value, 0.0f);
    EXPECT_EQ(listBoxGet(d->fileList)->scroll, 0.0f);
    EXPECT_EQ(listBoxGet(d->fileList)->selected, -1);
    EXPECT_STREQ(labelGet(d->pathLabel)->text, d->directory);
    pause();

    doubleClick(kRowX, rowY(1));  // ".."
    EXPECT_EQ(std::string(d->directory), tmp.path());
    EXPECT_EQ(entries(d).size(), 6u);
    EXPECT_EQ(d->accepted, 0);
    pause();

    doubleClick(kRowX, rowY(5));  // "B.DAE"
    EXPECT_EQ(d->accepted, 1);
    EXPECT_EQ(d->cancelled, 0);
    EXPECT_STREQ(fileDialogTemplate.resultName, "B.DAE");
    EXPECT_EQ(std::string(fileDialogTemplate.resultDirectory), tmp.path());
    EXPECT_EQ(std::string(fileDialogTemplate.directory), tmp.path());
    EXPECT_EQ(freeFileDialog(h), -1);
    EXPECT_EQ(fileDialogGet(h), nullptr);
}

TEST_F(FileDialogTest, TypedNamesAcceptCancelCancelsAndTooLongNamesAreRefused) {
    std::strcpy(fileDialogTemplate.directory, (tmp.path() + "models/").c_str());
    int32_t h = createFileDialog();
    FileDialog* d = fileDialogGet(h);
    ASSERT_NE(d, nullptr);
    frame();
    singleClick(kAcceptX, kButtonsY);  // no name yet: a file pick needs one
    EXPECT_EQ(d->accepted, 0);
    singleClick(2000, kNameY);
    for (char c : std::string("typed.dae")) inputCharEvent((uint8_t)c);
    for (int i = 0; i < 10; i++) frame();
    EXPECT_STREQ(nameText(d), "typed.dae");
    singleClick(kAcceptX, kButtonsY);
    EXPECT_EQ(d->accepted, 1);
    EXPECT_STREQ(fileDialogTemplate.resultName, "typed.dae");
    EXPECT_EQ(std::string(fileDialogTemplate.resultDirectory), tmp.path() + "models/");
    freeFileDialog(h);

    // The next dialog opens where the last one ended. A name that fills the whole field would not
    // fit a result text: the accept is refused and nothing is written.
    h = createFileDialog();
    d = fileDialogGet(h);
    EXPECT_EQ(std::string(d->directory), tmp.path() + "models/");
    EditField* name = editFieldGet(d->nameField);
    ASSERT_EQ(name->maxLength, 2048);
    std::string longest(2048, 'x');
    std::memcpy(name->text, longest.c_str(), longest.size() + 1);
    singleClick(kAcceptX, kButtonsY);
    EXPECT_EQ(d->accepted, 0);
    EXPECT_STREQ(fileDialogTemplate.resultName, "typed.dae");
    setEditText(d->nameField, longest.c_str() + 1);
    singleClick(kAcceptX, kButtonsY);
    EXPECT_EQ(d->accepted, 1);
    EXPECT_EQ(std::string(fileDialogTemplate.resultName), longest.substr(1));
    d->accepted = 0;

    singleClick(kCancelX, kButtonsY);
    EXPECT_EQ(d->cancelled, 1);
    EXPECT_EQ(d->accepted, 0);
    freeFileDialog(h);

    // A dialog that picks a directory accepts without a name.
    fileDialogTemplate.mode = 0;
    d = fileDialogGet(createFileDialog());
    frame();
    singleClick(kAcceptX, kButtonsY);
    EXPECT_EQ(d->accepted, 1);
}

TEST_F(FileDialogTest, PickingADriveShowsItsRoot) {
    int32_t h = createFileDialog();
    FileDialog* d = fileDialogGet(h);
    ASSERT_NE(dropDownGet(d->driveList), nullptr);
    frame();
    singleClick(240, 220);  // opens the drive list under its button
    singleClick(240, rowY(0));
    EXPECT_STREQ(d->directory, "/");
    EXPECT_STREQ(labelGet(d->pathLabel)->text, "/");
    EXPECT_EQ(listBoxGet(d->fileList)->selected, -1);
}
