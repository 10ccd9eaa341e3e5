#include "viewer/screens.h"

#include "gui/draw.h"

#include <cstring>

#include "gui/edit_field.h"
#include "gui/file_dialog.h"
#include "gui/gui.h"
#include "gui/lists.h"
#include "gui/text_layout.h"
#include "gui/widgets.h"
#include "strings/string_table.h"
#include "strings/text.h"
#include "system/files.h"
#include "viewer/app.h"
#include "viewer/config.h"
#include "viewer/model_load.h"

ViewerScreens viewerScreens;

namespace {
// Entries of the viewer's string table.
enum { TEXT_FILE = 0, TEXT_INFO = 1, TEXT_OPEN = 2, TEXT_QUIT = 3, TEXT_OK = 5, TEXT_CANCEL = 6, TEXT_LOADING = 7 };
// The interface image of the info box's picture.
constexpr int32_t kInfoPicture = 35;

int32_t addButton(int32_t window, int32_t text, float x0, float y0, float x1, float y1) {
    buttonTemplate.x0 = x0;
    buttonTemplate.y0 = y0;
    buttonTemplate.x1 = x1;
    buttonTemplate.y1 = y1;
    buttonTemplate.text = (char*)stringTableText(viewerStrings, text);
    int32_t button = createButton(window);
    buttonTemplate.text = nullptr;
    labelTemplate.text = nullptr;  // the label template must not keep pointing into the string table
    return button;
}

void closeScreen(int32_t* window) { *window = freeWindow(*window); }

// The browser opens where the last pick was made; a directory that has gone since opens home.
void openFileBrowser() {
    const GuiWindow* bar = guiWindow(viewerScreens.menuBar);
    float x = bar ? bar->x0 : 20.0f, y = bar ? bar->y0 : 20.0f;
    FileDialog& t = fileDialogTemplate;
    t.x0 = x;
    t.y0 = y + 140;
    t.x1 = x + 2600;
    t.y1 = y + 140 + 2100;
    t.mode = 1;
    textCopy(t.pattern, "*.dae", (int32_t)sizeof t.pattern);
    if (!fileExists(browseDirectory)) resetBrowseDirectory();
    textCopy(t.directory, browseDirectory, (int32_t)sizeof t.directory);
    textCopy(fileDialogTitle, stringTableText(viewerStrings, TEXT_OPEN), (int32_t)sizeof fileDialogTitle);
    viewerScreens.fileBrowser = createFileDialog();
}

void openLoadingBox() {
    viewerScreens.loadingBox = openScreenWindow(viewerScreens.loadingBox, 0, 1500, 1350, 2500, 1650);
    addScreenLabel(viewerScreens.loadingBox, stringTableText(viewerStrings, TEXT_LOADING), LAYOUT_CENTRED, 20, 20, 980, 280);
}

void openFileMenu() {
    const GuiWindow* bar = guiWindow(viewerScreens.menuBar);
    float x = bar ? bar->x0 : 20.0f, y = bar ? bar->y0 : 20.0f;
    viewerScreens.fileMenu = openScreenWindow(viewerScreens.fileMenu, 0, x, y + 140, x + 1000, y + 140 + 360);
    viewerScreens.openButton = addButton(viewerScreens.fileMenu, TEXT_OPEN, 40, 40, 960, 160);
    viewerScreens.quitButton = addButton(viewerScreens.fileMenu, TEXT_QUIT, 40, 160, 960, 280);
}

void openInfoBox() {
    viewerScreens.infoBox = openScreenWindow(viewerScreens.infoBox, 0, 1300, 1070, 2700, 1930);
    pictureTemplate.x0 = 80;
    pictureTemplate.y0 = 80;
    pictureTemplate.x1 = 1320;
    pictureTemplate.y1 = 620;
    pictureTemplate.image = kInfoPicture;
    createPicture(viewerScreens.infoBox);
    viewerScreens.infoOkButton = addButton(viewerScreens.infoBox, TEXT_OK, 400, 660, 1000, 780);
}
}  // namespace

int32_t openScreenWindow(int32_t old, int32_t layer, float x0, float y0, float x1, float y1) {
    windowTemplate.layer = layer;
    windowTemplate.x0 = x0;
    windowTemplate.y0 = y0;
    windowTemplate.x1 = x1;
    windowTemplate.y1 = y1;
    int32_t window = createWindow(old);
    windowTemplate.layer = 0;
    return window;
}

int32_t addScreenLabel(int32_t window, const char* text, int32_t layout, float x0, float y0, float x1, float y1) {
    labelTemplate.x0 = x0;
    labelTemplate.y0 = y0;
    labelTemplate.x1 = x1;
    labelTemplate.y1 = y1;
    labelTemplate.layout = layout;
    labelTemplate.text = (char*)text;
    int32_t label = createLabel(window);
    labelTemplate.text = nullptr;
    labelTemplate.layout = LAYOUT_CENTRED;
    return label;
}

void drawLoadingProgress(float done) {
    const GuiWindow* box = guiWindow(viewerScreens.loadingBox);
    if (!box || box->visible != 1) return;
    done = done < 0.0f ? 0.0f : done > 1.0f ? 1.0f : done;
    // Under the box's text: a dark track, the share done filled in light.
    float x0 = box->x0 + 80.0f, x1 = box->x1 - 80.0f, y0 = box->y1 - 75.0f, y1 = box->y1 - 40.0f;
    fillRect(x0, y0, x1, y1, 40, 48, 64, 255);
    fillRect(x0 + 4.0f, y0 + 4.0f, x0 + 4.0f + (x1 - x0 - 8.0f) * done, y1 - 4.0f, 150, 200, 240, 255);
}

void setupViewerStyle(int32_t set) {
    TextStyle& s = currentStyle;
    std::memset(&s, 0, sizeof s);
    s.glyphScale = 64;
    s.glyphHeight = 64;
    s.letterSpacing = 0;
    s.lineGap = 0;
    s.textColour = Rgba8{255, 255, 255, 255};
    s.shadowOn = 1;
    s.shadowOffsetX = 12;
    s.shadowOffsetY = 12;
    s.shadowColour = Rgba8{0, 0, 0, 63};

    GuiWindow& w = windowTemplate;
    w.layer = 0;
    w.hasBackground = 1;
    w.frameSet = set;
    w.frameImage = 0;
    w.fillSet = set;
    w.fillImage = 3;
    w.tile = 0;
    w.border = 48;
    w.colour = Rgba8{255, 255, 255, 224};
    w.visible = 1;

    labelTemplate.header.depth = 0;
    labelTemplate.header.visible = 1;
    labelTemplate.style = s;

    Button& b = buttonTemplate;
    b.header.depth = 0;
    b.header.visible = 1;
    b.skinSet = set;
    b.skinImage = 5;
    b.innerBorder = 32;
    b.outerBorder = 32;
    b.colour = Rgba8{255, 255, 255, 255};
    b.iconMode = 255;
    b.group = GROUP_NONE;

    Picture& p = pictureTemplate;
    p.header.depth = 0;
    p.header.visible = 1;
    p.set = set;
    p.hoverSet = -1;
    p.hoverImage = -1;
    p.colour = Rgba8{255, 255, 255, 255};

    ListBox& l = listBoxTemplate;
    l.header.depth = 0;
    l.header.visible = 1;
    l.frameSet = l.highlightSet = l.fillSet = set;
    l.frameImage = 0;
    l.highlightImage = 18;
    l.fillImage = 19;
    l.tile = 0;
    l.border = 32;
    l.colour = Rgba8{255, 255, 255, 255};
    l.rowHeight = 80;

    DropDown& dd = dropDownTemplate;
    dd.header.depth = 0;
    dd.header.visible = 1;
    dd.iconSet = set;
    dd.iconImage = 17;

    ScrollBar& sb = scrollBarTemplate;
    sb.header.depth = 0;
    sb.header.visible = 1;
    sb.buttonSize = 120;
    sb.arrowSet = sb.thumbSet = set;
    sb.arrowImage = 20;
    sb.thumbImage = 34;

    EditField& e = editFieldTemplate;
    e.header.depth = 0;
    e.header.visible = 1;
    e.frameSet = e.fillSet = set;
    e.frameImage = 0;
    e.fillImage = 3;
    e.tile = 0;
    e.border = 32;
    e.colour = Rgba8{255, 255, 255, 255};
    e.style = s;

    // The dialog is active like every other template; its buttons say OK and Cancel.
    fileDialogTemplate.depth = 0;
    fileDialogTemplate.visible = 1;
    textCopy(fileDialogAcceptText, stringTableText(viewerStrings, TEXT_OK), (int32_t)sizeof fileDialogAcceptText);
    textCopy(fileDialogCancelText, stringTableText(viewerStrings, TEXT_CANCEL), (int32_t)sizeof fileDialogCancelText);
}

void createViewerScreens() {
    std::memset(&viewerScreens, 0xff, sizeof viewerScreens);  // every handle -1
    viewerScreens.menuBar = openScreenWindow(-1, 0, 20, 20, 3420, 180);
    viewerScreens.menuFileButton = addButton(viewerScreens.menuBar, TEXT_FILE, 20, 20, 620, 140);
    viewerScreens.menuInfoButton = addButton(viewerScreens.menuBar, TEXT_INFO, 620, 20, 1220, 140);
}

int32_t runScreens() {
    ViewerScreens& s = viewerScreens;
    if (windowExists(s.fileMenu)) {
        if (takeClick(s.openButton)) {
            if (!fileDialogGet(s.fileBrowser)) openFileBrowser();
            closeScreen(&s.fileMenu);
        } else if (takeClick(s.quitButton)) {
            requestQuit();
        }
    }
    if (windowExists(s.menuBar)) {
        if (takeClick(s.menuFileButton)) {
            if (windowExists(s.fileMenu)) closeScreen(&s.fileMenu);
            else openFileMenu();
        }
        if (takeClick(s.menuInfoButton)) openInfoBox();
    }
    if (FileDialog* dialog = fileDialogGet(s.fileBrowser)) {
        if (dialog->accepted) {
            // The results stay in the template, which outlives the dialog.
            textCopy(browseDirectory, fileDialogTemplate.resultDirectory, (int32_t)sizeof browseDirectory);
            s.fileBrowser = freeFileDialog(s.fileBrowser);
            startModelLoad(fileDialogTemplate.resultName, fileDialogTemplate.resultDirectory);
        } else if (dialog->cancelled) {
            s.fileBrowser = freeFileDialog(s.fileBrowser);
        }
    }
    if (windowExists(s.infoBox) && takeClick(s.infoOkButton)) closeScreen(&s.infoBox);
    if (windowExists(s.messageBox) && takeClick(s.messageOkButton)) closeScreen(&s.messageBox);

    // The loading box is on screen for one frame before the import runs, and one frame after.
    if (!modelLoadPending()) return 0;
    if (!windowExists(s.loadingBox)) openLoadingBox();
    int32_t result = serviceModelLoad();
    if (result != 0) {
        char text[2048];
        importProblems(result > 0 ? 0 : -1, text, sizeof text);
        if (text[0] != '\0') showMessageBox(text);
    }
    if (!modelLoadPending()) closeScreen(&s.loadingBox);
    return result;
}

void showMessageBox(const char* text) {
    ViewerScreens& s = viewerScreens;
    closeScreen(&s.messageBox);
    // One layer above the others: until OK the rest of the interface waits.
    s.messageBox = openScreenWindow(-1, topVisibleLayer() + 1, 600, 1150, 3400, 1850);
    addScreenLabel(s.messageBox, text, LAYOUT_WRAP_CENTRED, 80, 80, 2720, 480);
    s.messageOkButton = addButton(s.messageBox, TEXT_OK, 1100, 520, 1700, 640);
}

void closeViewerScreens() {
    ViewerScreens& s = viewerScreens;
    s.fileBrowser = freeFileDialog(s.fileBrowser);
    for (int32_t* w : {&s.fileMenu, &s.infoBox, &s.loadingBox, &s.messageBox, &s.menuBar}) closeScreen(w);
}
