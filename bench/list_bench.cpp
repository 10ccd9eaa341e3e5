// Time of a list box over a large directory: filling it with N file names and drawing the first
// frame ("opening"), then frames of the interface walk while its bound scroll bar moves to a new
// position every frame ("scrolling").
//
//   list_bench [--seconds S] [--entries N]
//
// Opens an 800 x 600 window with the viewer's window glue (run it under Xvfb without a display).
// The list is the size of the viewer's file list (rows of 100 units in a content box 1700 high,
// about 17 rows on screen); the font is one white square per character, as wide as high, so every
// glyph is drawn as in the real font. Defaults: 5 s, 5000 entries.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gui/draw.h"
#include "gui/font.h"
#include "gui/gui.h"
#include "gui/lists.h"
#include "gui/widgets.h"
#include "input/input.h"
#include "render/gl.h"
#include "render/render_state.h"
#include "strings/string_table.h"
#include "system/clock.h"
#include "texsets/interface_sets.h"
#include "viewer/window.h"

namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void drawFrame() {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    begin2d(4000, 3000);
    drawInterface();
    glFinish();
}

// Templates as the viewer's skin would fill them, all from one white interface set.
void fillTemplates(int32_t set) {
    windowTemplate = GuiWindow{};
    windowTemplate.hasBackground = windowTemplate.visible = 1;
    windowTemplate.frameSet = windowTemplate.fillSet = set;
    windowTemplate.border = 40;
    windowTemplate.colour = Rgba8{200, 200, 200, 255};
    windowTemplate.x0 = 200;
    windowTemplate.y0 = 200;
    windowTemplate.x1 = 3800;
    windowTemplate.y1 = 2800;
    buttonTemplate = Button{};
    buttonTemplate.header.visible = 1;
    buttonTemplate.skinSet = set;
    buttonTemplate.innerBorder = buttonTemplate.outerBorder = 20;
    buttonTemplate.colour = Rgba8{255, 255, 255, 255};
    buttonTemplate.group = GROUP_NONE;
    listBoxTemplate = ListBox{};
    listBoxTemplate.header.visible = 1;
    listBoxTemplate.frameSet = listBoxTemplate.highlightSet = listBoxTemplate.fillSet = set;
    listBoxTemplate.border = 20;
    listBoxTemplate.colour = Rgba8{40, 40, 40, 255};
    listBoxTemplate.rowHeight = 100;
    listBoxTemplate.x0 = 40;
    listBoxTemplate.y0 = 280;
    listBoxTemplate.x1 = 3320;
    listBoxTemplate.y1 = 2020;
    scrollBarTemplate = ScrollBar{};
    scrollBarTemplate.header.visible = 1;
    scrollBarTemplate.buttonSize = 140;
    scrollBarTemplate.arrowSet = scrollBarTemplate.thumbSet = set;
    scrollBarTemplate.mode = SCROLL_BOUND_TO_LIST;
    scrollBarTemplate.x0 = 3320;
    scrollBarTemplate.y0 = 280;
    scrollBarTemplate.x1 = 3460;
    scrollBarTemplate.y1 = 2020;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 5.0;
    int entries = 5000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
        if (std::strcmp(argv[i], "--entries") == 0) entries = std::atoi(argv[i + 1]);
    }
    std::memset(&windowRequest, 0, sizeof windowRequest);
    std::strcpy(windowRequest.title, "list bench");
    windowRequest.width = 800;
    windowRequest.height = 600;
    windowRequest.depthBits = 24;
    if (windowLibraryStart() != 0) {
        std::fprintf(stderr, "list_bench: no display (run under xvfb-run)\n");
        return 1;
    }
    windowOpen();
    if (!windowIsOpen()) {
        std::fprintf(stderr, "list_bench: no OpenGL window\n");
        return 1;
    }
    render_init();
    render_resize(800, 600);
    stringsInit();
    inputInit();
    guiInit();

    const int32_t set = 1;
    std::vector<uint8_t> white(4 * 4 * 4, 255);
    for (int32_t i = 0; i < 36; i++) uploadSetImage(set, i, 0, white.data(), 4, 4);
    fontSet = set;
    for (auto& g : fontMetrics[0]) g = GlyphRect{0, 0, 1, 1};
    currentStyle = TextStyle{};
    currentStyle.glyphScale = currentStyle.glyphHeight = 64;
    currentStyle.textColour = Rgba8{255, 255, 255, 255};
    currentStyle.shadowOn = 1;
    currentStyle.shadowOffsetX = currentStyle.shadowOffsetY = 12;
    currentStyle.shadowColour = Rgba8{0, 0, 0, 63};
    fillTemplates(set);

    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    std::printf("%d entries, 800 x 600, rows of 100 in a content box 1700 high; %.1f s of scrolling\n", entries,
                seconds);

    // Opening: the window, the list filled with names of about 24 characters, the first frame.
    double start = now();
    int32_t window = createWindow(-1);
    int32_t list = createListBox(window);
    scrollBarTemplate.target = list;
    int32_t bar = createScrollBar(window);
    const uint8_t colour[4] = {224, 240, 255, 255};
    char name[64];
    for (int i = 0; i < entries; i++) {
        std::snprintf(name, sizeof name, "scene_part_%06d_lod2.dae", i);
        stringTableAdd(listBoxGet(list)->strings, name, colour);
    }
    double filled = now();
    drawFrame();
    swapWindow();
    double opened = now();
    std::printf("opening: fill %.2f ms, first frame %.2f ms\n", (filled - start) * 1000.0, (opened - filled) * 1000.0);

    // Scrolling: a new position every frame, spread over the whole range.
    int frames = 0;
    double worst = 0.0;
    start = now();
    double elapsed = 0.0;
    while (elapsed < seconds || frames < 3) {
        ScrollBar* s = scrollBarGet(bar);
        s->value = s->max > 0 ? (float)((frames * 7919) % (int)s->max) : 0.0f;
        double t = now();
        drawFrame();
        swapWindow();
        double ms = (now() - t) * 1000.0;
        if (ms > worst) worst = ms;
        frames++;
        elapsed = now() - start;
    }
    std::printf("scrolling: %d frames, %.3f ms per frame (worst %.2f ms), %.1f fps\n", frames,
                elapsed * 1000.0 / frames, worst, frames / elapsed);

    guiShutdown();
    inputShutdown();
    stringsShutdown();
    render_shutdown();
    windowClose();
    windowLibraryStop();
    return 0;
}
