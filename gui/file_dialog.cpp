#include "gui/file_dialog.h"

#include <climits>
#include <cstring>

#include "gui/edit_field.h"
#include "gui/gui.h"
#include "gui/lists.h"
#include "gui/text_layout.h"
#include "gui/widgets.h"
#include "input/input.h"
#include "strings/string_table.h"
#include "strings/text.h"
#include "system/slot_table.h"
#include "system/system.h"

FileDialog fileDialogTemplate;
char fileDialogTitle[256];
char fileDialogAcceptText[256];
char fileDialogCancelText[256];

namespace {
// Child rectangles, relative to the dialog window (b is the window frame, W and H its size).
constexpr float kTitleTop = 40.0f, kTitleBottom = 160.0f;
constexpr float kDriveWidth = 400.0f, kDriveBottom = 280.0f;
constexpr float kScrollBarWidth = 140.0f;
constexpr float kNameTop = 260.0f, kButtonsTop = 120.0f;  // above the bottom edge
constexpr float kButtonWidth = 500.0f;
// The name field holds as much as a path text.
constexpr int32_t kNameLength = PATH_CAPACITY;

struct FileDialogs {
    SlotTable dialogs;
};
FileDialogs fileDialogs;

void colourBytes(const Rgba8& c, uint8_t out[4]) {
    out[0] = c.r;
    out[1] = c.g;
    out[2] = c.b;
    out[3] = c.a;
}

bool sameColour(const uint8_t value[4], const Rgba8& c) {
    return value[0] == c.r && value[1] == c.g && value[2] == c.b && value[3] == c.a;
}

// The list's entry at index, or null when there is none (no entries, a stale index after a refresh).
const char* listEntry(const ListBox* list, int32_t index, uint8_t value[4]) {
    if (!list || index < 0 || index >= stringTableCount(list->strings)) return nullptr;
    stringTableValue(list->strings, index, value);
    return stringTableText(list->strings, index);
}

// Names starting with a dot are hidden on this system, except the two that lead up.
bool hiddenEntry(const char* name) {
    return name[0] == '.' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

void addListing(int32_t strings, int32_t listing) {
    uint8_t value[4];
    int32_t n = stringTableCount(listing);
    for (int32_t i = 0; i < n; i++) {
        const char* name = stringTableText(listing, i);
        if (hiddenEntry(name)) continue;
        stringTableValue(listing, i, value);
        stringTableAdd(strings, name, value);
    }
    stringTableDestroy(listing);
}

void addDrives(FileDialog* d) {
    const DropDown* dd = dropDownGet(d->driveList);
    if (!dd) return;
    ListBox* list = listBoxGet(dd->list);
    if (!list) return;
    listDrives();
    uint8_t colour[4];
    colourBytes(currentStyle.textColour, colour);
    for (int32_t i = 0; i < driveList.count; i++) stringTableAdd(list->strings, driveList.roots[i], colour);
    // The entries are the drive list in its order, so the drive's index is its row.
    int32_t drive = driveIndex(d->directory);
    if (drive >= 0) {
        list->selected = drive;
        dropDownGet(d->driveList)->selected = drive;
    }
}

void setRect(float* x0, float* y0, float* x1, float* y1, float a, float b, float c, float e) {
    *x0 = a;
    *y0 = b;
    *x1 = c;
    *y1 = e;
}

// The accept button: the results go to the template, which outlives the dialog. A name or directory
// that would not fit a result text refuses the accept rather than naming another file, and so does
// an empty name when a file is to be picked (it would name the directory).
void accept(FileDialog* d) {
    const EditField* name = editFieldGet(d->nameField);
    const char* text = name ? name->text : "";
    if (d->mode == 1 && text[0] == '\0') return;
    if (textLengthWithin(text, PATH_CAPACITY) >= PATH_CAPACITY ||
        textLengthWithin(d->directory, PATH_CAPACITY) >= PATH_CAPACITY)
        return;
    textCopyWhole(d->resultName, text, sizeof d->resultName);
    textCopyWhole(d->resultDirectory, d->directory, sizeof d->resultDirectory);
    std::memcpy(fileDialogTemplate.resultName, d->resultName, sizeof d->resultName);
    std::memcpy(fileDialogTemplate.resultDirectory, d->resultDirectory, sizeof d->resultDirectory);
    // The next dialog opens where this one ended.
    std::memcpy(fileDialogTemplate.directory, d->resultDirectory, sizeof d->resultDirectory);
    d->accepted = 1;
}

void runDialog(int32_t index) {
    FileDialog* d = fileDialogGet(index);
    uint8_t value[4];

    DropDown* drives = dropDownGet(d->driveList);
    if (drives && drives->picked == 1) {
        drives->picked = 0;
        const char* root = listEntry(listBoxGet(drives->list), drives->selected, value);
        if (root && textCopyWhole(d->directory, root, sizeof d->directory)) refreshFileDialog(index);
    }

    Rgba8 wanted = d->mode == 0 ? directoryColour : fileColour;
    ListBox* list = listBoxGet(d->fileList);
    if (list && list->changed == 1) {
        list->changed = 0;
        const char* e = listEntry(list, list->selected, value);
        if (e && sameColour(value, wanted)) setEditText(d->nameField, e);
    }

    list = listBoxGet(d->fileList);
    if (list && list->doubleClicked == 1) {
        list->doubleClicked = 0;
        const char* e = listEntry(list, list->selected, value);
        if (e && sameColour(value, directoryColour)) {
            char entered[PATH_CAPACITY];
            std::memcpy(entered, d->directory, sizeof entered);
            if (enterDirectory(e, entered) == 0) std::memcpy(d->directory, entered, sizeof entered);
            refreshFileDialog(index);
        } else if (e && d->mode == 1 && sameColour(value, fileColour)) {
            setEditText(d->nameField, e);
            // Accept at once, but only the name that actually stands in the field.
            const EditField* name = editFieldGet(d->nameField);
            Button* ok = buttonGet(d->acceptButton);
            if (name && ok && std::strcmp(name->text, e) == 0) ok->clicked = 1;
        }
    }

    if (takeClick(d->acceptButton)) accept(d);
    if (takeClick(d->cancelButton)) d->cancelled = 1;
}
}  // namespace

void fileDialogsInit() {
    slotInit(&fileDialogs.dialogs, 4, (int32_t)sizeof(FileDialog));
    std::memset(&fileDialogTemplate, 0, sizeof fileDialogTemplate);
    std::memset(fileDialogTitle, 0, sizeof fileDialogTitle);
    std::memset(fileDialogAcceptText, 0, sizeof fileDialogAcceptText);
    std::memset(fileDialogCancelText, 0, sizeof fileDialogCancelText);
}

void fileDialogsShutdown() {
    for (int32_t i = 0; i < fileDialogs.dialogs.capacity; i++)
        if (slotUnits(&fileDialogs.dialogs, i) > 0) freeFileDialog(i);
    slotFree(&fileDialogs.dialogs);
}

void fileDialogDepths(int32_t window, int32_t maxDepth, std::vector<int32_t>* depths) {
    for (int32_t i = 0; i < fileDialogs.dialogs.capacity; i++) {
        const FileDialog* d = fileDialogGet(i);
        if (d && d->window == window && d->depth >= 0 && d->depth <= maxDepth) depths->push_back(d->depth);
    }
}

int32_t createFileDialog() {
    int32_t index = slotAdd(&fileDialogs.dialogs, 1, -1);
    if (index < 0) return -1;
    FileDialog* d = fileDialogGet(index);
    *d = fileDialogTemplate;
    // Texts the application filled are read as texts: never past their buffers.
    d->pattern[sizeof d->pattern - 1] = '\0';
    d->directory[sizeof d->directory - 1] = '\0';
    d->accepted = 0;
    d->cancelled = 0;
    d->title = d->driveList = d->pathLabel = d->fileList = -1;
    d->scrollBar = d->nameField = d->acceptButton = d->cancelButton = -1;
    float w = d->x1 - d->x0, h = d->y1 - d->y0, b = windowTemplate.border;

    windowTemplate.x0 = d->x0;
    windowTemplate.y0 = d->y0;
    windowTemplate.x1 = d->x1;
    windowTemplate.y1 = d->y1;
    int32_t top = topVisibleLayer();
    windowTemplate.layer = top < INT_MAX ? top + 1 : top;
    d->window = createWindow(-1);
    windowTemplate.layer = 0;

    setRect(&labelTemplate.x0, &labelTemplate.y0, &labelTemplate.x1, &labelTemplate.y1, b, kTitleTop, w - b,
            kTitleBottom);
    labelTemplate.layout = LAYOUT_CENTRED;
    labelTemplate.text = fileDialogTitle;
    d->title = createLabel(d->window);

    setRect(&dropDownTemplate.x0, &dropDownTemplate.y0, &dropDownTemplate.x1, &dropDownTemplate.y1, b, kTitleBottom,
            b + kDriveWidth, kDriveBottom);
    dropDownTemplate.text = nullptr;
    // A drive's root can be longer than its button: its start is what tells drives apart.
    labelTemplate.layout = LAYOUT_LEFT;
    d->driveList = createDropDown(d->window);
    if (const DropDown* drive = dropDownGet(d->driveList))
        if (const Button* button = buttonGet(drive->button))
            if (Label* label = labelGet(button->label)) label->x0 += button->outerBorder + button->innerBorder * 0.5f;
    addDrives(d);

    setRect(&labelTemplate.x0, &labelTemplate.y0, &labelTemplate.x1, &labelTemplate.y1, b + kDriveWidth,
            kTitleBottom, w - b, kDriveBottom);
    labelTemplate.layout = LAYOUT_LEFT;
    labelTemplate.text = d->directory;
    d->pathLabel = createLabel(d->window);
    // The template must not keep pointing into the dialog table.
    labelTemplate.text = nullptr;

    setRect(&listBoxTemplate.x0, &listBoxTemplate.y0, &listBoxTemplate.x1, &listBoxTemplate.y1, b, kDriveBottom,
            w - b - kScrollBarWidth, h - b - kNameTop);
    d->fileList = createListBox(d->window);

    setRect(&scrollBarTemplate.x0, &scrollBarTemplate.y0, &scrollBarTemplate.x1, &scrollBarTemplate.y1,
            w - b - kScrollBarWidth, kDriveBottom, w - b, h - b - kNameTop);
    scrollBarTemplate.mode = SCROLL_BOUND_TO_LIST;
    scrollBarTemplate.target = d->fileList;
    d->scrollBar = createScrollBar(d->window);

    setRect(&editFieldTemplate.x0, &editFieldTemplate.y0, &editFieldTemplate.x1, &editFieldTemplate.y1, b,
            h - b - kNameTop, w - b, h - b - kButtonsTop);
    editFieldTemplate.maxLength = kNameLength;
    editFieldTemplate.filter = TEXT_ANY;
    d->nameField = createEditField(d->window);

    setRect(&buttonTemplate.x0, &buttonTemplate.y0, &buttonTemplate.x1, &buttonTemplate.y1,
            w - b - 2 * kButtonWidth, h - b - kButtonsTop, w - b - kButtonWidth, h - b);
    labelTemplate.layout = LAYOUT_CENTRED;
    buttonTemplate.text = fileDialogAcceptText;
    d->acceptButton = createButton(d->window);
    setRect(&buttonTemplate.x0, &buttonTemplate.y0, &buttonTemplate.x1, &buttonTemplate.y1, w - b - kButtonWidth,
            h - b - kButtonsTop, w - b, h - b);
    buttonTemplate.text = fileDialogCancelText;
    d->cancelButton = createButton(d->window);

    refreshFileDialog(index);
    return index;
}

int32_t freeFileDialog(int32_t dialog) {
    FileDialog* d = fileDialogGet(dialog);
    if (!d) return -1;
    d->window = freeWindow(d->window);
    slotRelease(&fileDialogs.dialogs, dialog);
    return -1;
}

FileDialog* fileDialogGet(int32_t dialog) { return slotGet<FileDialog>(&fileDialogs.dialogs, dialog); }

int32_t fileDialogFiles(const char* pattern, const char* dir) {
    uint8_t colour[4];
    colourBytes(fileColour, colour);
    int32_t files = stringTableCreate(-1);
    addListing(files, listFiles(pattern, dir, colour));
    return files;
}

void refreshFileDialog(int32_t dialog) {
    FileDialog* d = fileDialogGet(dialog);
    if (!d) return;
    ListBox* list = listBoxGet(d->fileList);
    if (list) {
        stringTableClear(list->strings);
        uint8_t colour[4];
        colourBytes(directoryColour, colour);
        addListing(list->strings, listDirectories("*.*", d->directory, colour));
        colourBytes(fileColour, colour);
        addListing(list->strings, listFiles(d->pattern, d->directory, colour));
        // A new listing starts at the top with nothing chosen; what was reported of the old one is
        // gone with it.
        list->selected = -1;
        list->changed = list->clicked = list->doubleClicked = 0;
        list->scroll = 0.0f;
    }
    if (ScrollBar* bar = scrollBarGet(d->scrollBar)) bar->value = 0.0f;
    setLabelText(d->pathLabel, d->directory);
}

void drawFileDialogs(int32_t window, int32_t depth) {
    for (int32_t i = 0; i < fileDialogs.dialogs.capacity; i++) {
        const FileDialog* d = fileDialogGet(i);
        if (d && d->window == window && d->depth == depth && d->visible == 1) runDialog(i);
    }
}
