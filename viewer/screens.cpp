#include "viewer/screens.h"

#include <cstring>

#include "gui/gui.h"
#include "gui/text_layout.h"
#include "gui/widgets.h"
#include "strings/string_table.h"
#include "viewer/app.h"

ViewerScreens viewerScreens;

namespace {
// Entries of the viewer's string table.
enum { TEXT_FILE = 0, TEXT_INFO = 1, TEXT_OPEN = 2, TEXT_QUIT = 3, TEXT_OK = 5 };
// The interface image of the info box's picture.
constexpr int32_t kInfoPicture = 35;

int32_t openWindow(int32_t old, float x0, float y0, float x1, float y1) {
    windowTemplate.x0 = x0;
    windowTemplate.y0 = y0;
    windowTemplate.x1 = x1;
    windowTemplate.y1 = y1;
    return createWindow(old);
}

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

void openFileMenu() {
    const GuiWindow* bar = guiWindow(viewerScreens.menuBar);
    float x = bar ? bar->x0 : 20.0f, y = bar ? bar->y0 : 20.0f;
    viewerScreens.fileMenu = openWindow(viewerScreens.fileMenu, x, y + 140, x + 1000, y + 140 + 360);
    viewerScreens.openButton = addButton(viewerScreens.fileMenu, TEXT_OPEN, 40, 40, 960, 160);
    viewerScreens.quitButton = addButton(viewerScreens.fileMenu, TEXT_QUIT, 40, 160, 960, 280);
}

void openInfoBox() {
    viewerScreens.infoBox = openWindow(viewerScreens.infoBox, 1300, 1070, 2700, 1930);
    pictureTemplate.x0 = 80;
    pictureTemplate.y0 = 80;
    pictureTemplate.x1 = 1320;
    pictureTemplate.y1 = 620;
    pictureTemplate.image = kInfoPicture;
    createPicture(viewerScreens.infoBox);
    viewerScreens.infoOkButton = addButton(viewerScreens.infoBox, TEXT_OK, 400, 660, 1000, 780);
}
}  // namespace

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
}

void createViewerScreens() {
    std::memset(&viewerScreens, 0xff, sizeof viewerScreens);  // every handle -1
    viewerScreens.menuBar = openWindow(-1, 20, 20, 3420, 180);
    viewerScreens.menuFileButton = addButton(viewerScreens.menuBar, TEXT_FILE, 20, 20, 620, 140);
    viewerScreens.menuInfoButton = addButton(viewerScreens.menuBar, TEXT_INFO, 620, 20, 1220, 140);
}

void runScreens() {
    ViewerScreens& s = viewerScreens;
    if (windowExists(s.fileMenu)) {
        // The file dialog is not built yet: "Open..." only closes the menu.
        if (takeClick(s.openButton)) closeScreen(&s.fileMenu);
        else if (takeClick(s.quitButton)) requestQuit();
    }
    if (windowExists(s.menuBar)) {
        if (takeClick(s.menuFileButton)) {
            if (windowExists(s.fileMenu)) closeScreen(&s.fileMenu);
            else openFileMenu();
        }
        if (takeClick(s.menuInfoButton)) openInfoBox();
    }
    if (windowExists(s.infoBox) && takeClick(s.infoOkButton)) closeScreen(&s.infoBox);
}

void closeViewerScreens() {
    closeScreen(&viewerScreens.fileMenu);
    closeScreen(&viewerScreens.infoBox);
    closeScreen(&viewerScreens.menuBar);
}
