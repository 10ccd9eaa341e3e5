// The interface images 0 .. 34: window frame and fill, button skin, arrows, list images, thumb grip.
//
// Frames are drawn by the viewer as nine pieces (corners in the quadrants of one image, edges in the
// halves of two more, repeated along their length with linear filtering and mipmaps). To show no
// seam at any size, every frame here is one profile across its thickness, a function of the distance
// to a rounded rectangle's outline: the edges are constant along their length and the corner
// quadrants meet them with the same profile (each corner's arc ends a quarter of the quadrant before
// the quadrant does). All three images are mirror-symmetric, so filtering across the quadrant and
// half boundaries, and across the wrap at 0 and 1, only ever blends equal texels.
//
// Every image with transparency is stored with its alpha (A = 1); where alpha is 0 the colour is
// the neighbouring visible one, so filtering draws no dark or light fringe.
#include <cmath>
#include <cstdio>

#include "system/memory.h"
#include "tools/bake.h"

namespace {
// Frame images are 128 pixels square: quadrants and halves of 64, as thick as one border.
const int32_t kFrameSize = 128;
const int32_t kHalf = kFrameSize / 2;
// One texel of a quadrant in border units: the width of the anti-aliasing ramps.
const float kTexel = 1.0f / kHalf;

// The look: a dark slate panel with a thin light rim; buttons a little lighter, pressed darker.
struct Palette {
    Colour panel, rim, shadow, listFill;
    Colour button, buttonLight, outline, pressed, pressedDark;
    Colour accentTop, accentBottom, icon, grip, glow, filler;
};
const Palette kLook = {
    rgb255(36, 42, 52),    rgb255(150, 166, 190), rgb255(0, 0, 0),       rgb255(25, 29, 36),
    rgb255(60, 69, 84),    rgb255(84, 96, 116),   rgb255(14, 17, 22),    rgb255(30, 36, 46),
    rgb255(12, 15, 20),    rgb255(82, 138, 206),  rgb255(54, 102, 168),  rgb255(214, 222, 234),
    rgb255(150, 164, 186), rgb255(44, 52, 66),    rgb255(128, 128, 128),
};

// Colour and alpha accumulated by laying layers over one another (premultiplied).
struct Paint {
    float r, g, b, a;
};

void layOver(Paint* p, Colour c, float alpha) {
    p->r = c.r * alpha + p->r * (1.0f - alpha);
    p->g = c.g * alpha + p->g * (1.0f - alpha);
    p->b = c.b * alpha + p->b * (1.0f - alpha);
    p->a = alpha + p->a * (1.0f - alpha);
}

// Coverage of "inside" (distance d >= 0), ramped over one texel.
float inside(float d) { return clamp01(d / kTexel + 0.5f); }
// Coverage of the band lo <= d < hi.
float band(float d, float lo, float hi) { return inside(d - lo) - inside(d - hi); }

// A rounded rectangle seen from its top-left corner: straight sides at `edge` (border units from
// the frame's outer edge), corners of `radius`. edge + radius <= 0.75 keeps each arc inside the
// first three quarters of the corner quadrant.
struct Outline {
    float edge, radius;
};

// Signed distance to the outline of (u, v) in the top-left quadrant, positive inside.
float cornerDistance(const Outline& o, float u, float v) {
    float centre = o.edge + o.radius;
    float qx = centre - u, qy = centre - v;
    if (qx > 0.0f && qy > 0.0f) return o.radius - std::sqrt(qx * qx + qy * qy);
    return o.radius - (qx > qy ? qx : qy);
}

// A frame's profile: the paint at distance d from the outline; body says whether the point lies
// outside the area that the panel fill covers (within `bodyEnd` of the outer edge).
typedef void (*Profile)(float d, bool body, Paint* paint, Colour* hidden);

struct FrameStyle {
    Outline outline;
    float bodyEnd;  // border units: where the panel-coloured body ends, a little past the fill's edge
    Profile profile;
};

void shade(const FrameStyle& style, float u, float v, float d, float* out) {
    Paint paint = {0, 0, 0, 0};
    Colour hidden = {0, 0, 0};
    style.profile(d, u < style.bodyEnd || v < style.bodyEnd, &paint, &hidden);
    if (paint.a > 1.0f / 1024.0f) {
        out[0] = paint.r / paint.a;
        out[1] = paint.g / paint.a;
        out[2] = paint.b / paint.a;
    } else {
        out[0] = hidden.r;
        out[1] = hidden.g;
        out[2] = hidden.b;
    }
    out[3] = paint.a;
}

// Texel i of 128 seen from the nearer outer edge, in border units (mirror-symmetric).
float mirrored(int32_t i) { return ((i < kHalf ? i : kFrameSize - 1 - i) + 0.5f) / kHalf; }

// Writes the three images of a frame as set images first, first + 1 and first + 2.
int32_t bakeFrame(const char* dir, int32_t first, const char* name, const FrameStyle& style) {
    Picture corners, across, down;
    pictureCreate(&corners, kFrameSize, kFrameSize);
    pictureCreate(&across, kFrameSize, kFrameSize);
    pictureCreate(&down, kFrameSize, kFrameSize);
    for (int32_t y = 0; y < kFrameSize; y++) {
        for (int32_t x = 0; x < kFrameSize; x++) {
            float u = mirrored(x), v = mirrored(y);
            shade(style, u, v, cornerDistance(style.outline, u, v), picturePixel(&corners, x, y));
            // Edges: the top edge in the upper half, the bottom edge in the lower half; the left
            // edge in the left half, the right edge in the right half. 2 stands for "far inside".
            shade(style, v, 2.0f, v - style.outline.edge, picturePixel(&across, x, y));
            shade(style, u, 2.0f, u - style.outline.edge, picturePixel(&down, x, y));
        }
    }
    char names[3][64];
    std::snprintf(names[0], sizeof names[0], "%s_corners.jpg", name);
    std::snprintf(names[1], sizeof names[1], "%s_edges_h.jpg", name);
    std::snprintf(names[2], sizeof names[2], "%s_edges_v.jpg", name);
    int32_t result = writeSetJpeg(dir, first, names[0], &corners, 1, 0);
    if (result == 0) result = writeSetJpeg(dir, first + 1, names[1], &across, 1, 0);
    if (result == 0) result = writeSetJpeg(dir, first + 2, names[2], &down, 1, 0);
    pictureFree(&corners);
    pictureFree(&across);
    pictureFree(&down);
    return result;
}

// Window: a soft shadow outside, a thin light rim, and inside it the panel colour up to a little
// past where the panel fill begins (half the border), so the two overlap instead of leaving a gap.
void windowProfile(float d, bool body, Paint* p, Colour* hidden) {
    const float shadowReach = 0.30f, rimWidth = 0.11f;
    if (d < 0.0f) {
        float t = 1.0f - clamp01(-d / shadowReach);
        layOver(p, kLook.shadow, 0.42f * t * t);
    }
    if (body) layOver(p, kLook.panel, inside(d));
    layOver(p, kLook.rim, 0.95f * band(d, 0.0f, rimWidth));
    *hidden = d > 0.0f ? kLook.panel : kLook.shadow;
}

// Button outer frame (drawn last, over the face): a soft shadow around the face and a dark outline
// over the face's edge. Alone it frames the scroll bar's track.
void buttonOuterProfile(float d, bool, Paint* p, Colour* hidden) {
    if (d < 0.0f) {
        float t = 1.0f - clamp01(-d / 0.42f);
        layOver(p, kLook.shadow, 0.30f * t * t);
    }
    layOver(p, kLook.outline, 0.85f * band(d, -0.06f, 0.07f));
    *hidden = kLook.outline;
}

// Button face, inner frame: opaque, lighter towards its rim, with an outline of its own (the scroll
// bar's thumb has no outer frame). The fill image is the face's inner colour.
void buttonFaceProfile(float d, bool, Paint* p, Colour* hidden) {
    layOver(p, mixColour(kLook.buttonLight, kLook.button, smoothStep(0.04f, 0.55f, d)), inside(d));
    layOver(p, kLook.outline, 0.6f * band(d, 0.0f, 0.06f));
    *hidden = kLook.outline;
}

// Pressed or checked: darker, with a shadow along the rim, as if sunk in.
void buttonPressedProfile(float d, bool, Paint* p, Colour* hidden) {
    layOver(p, mixColour(kLook.pressedDark, kLook.pressed, smoothStep(0.02f, 0.45f, d)), inside(d));
    layOver(p, kLook.outline, 0.6f * band(d, 0.0f, 0.06f));
    *hidden = kLook.outline;
}

// A flat opaque image.
int32_t bakeFlat(const char* dir, int32_t number, const char* name, Colour colour) {
    Picture p;
    pictureCreate(&p, 16, 16);
    for (int32_t i = 0; i < 16 * 16; i++) {
        float* q = p.rgba + i * 4;
        q[0] = colour.r;
        q[1] = colour.g;
        q[2] = colour.b;
        q[3] = 1.0f;
    }
    int32_t result = writeSetJpeg(dir, number, name, &p, 0, 0);
    pictureFree(&p);
    return result;
}

// A picture of one colour, transparent everywhere (polygons are laid on it).
void clearTo(Picture* p, int32_t w, int32_t h, Colour colour) {
    pictureCreate(p, w, h);
    for (int64_t i = 0; i < (int64_t)w * h; i++) {
        p->rgba[i * 4] = colour.r;
        p->rgba[i * 4 + 1] = colour.g;
        p->rgba[i * 4 + 2] = colour.b;
    }
}

void fillPolygon(Picture* p, const float* xs, const float* ys, int32_t n, Colour colour, float alpha) {
    for (int32_t y = 0; y < p->height; y++)
        for (int32_t x = 0; x < p->width; x++) {
            float c = polygonCoverage(xs, ys, n, x, y);
            if (c > 0.0f) pictureBlend(p, x, y, colour, alpha * c);
        }
}

// A triangle icon on 64 x 64 pixels, pointing down (or up), `width` pixels across.
int32_t bakeArrow(const char* dir, int32_t number, const char* name, bool up, float width) {
    Picture p;
    clearTo(&p, 64, 64, kLook.icon);
    float h = width * 0.55f;
    float top = 32.0f - h / 2.0f, bottom = 32.0f + h / 2.0f;
    float xs[3] = {32.0f - width / 2.0f, 32.0f + width / 2.0f, 32.0f};
    float ys[3] = {up ? bottom : top, up ? bottom : top, up ? top : bottom};
    fillPolygon(&p, xs, ys, 3, kLook.icon, 1.0f);
    int32_t result = writeSetJpeg(dir, number, name, &p, 1, 0);
    pictureFree(&p);
    return result;
}

// Hover light, added over the whole button: black (no change) at the rim, a soft light inside.
int32_t bakeGlow(const char* dir, int32_t number) {
    Picture p;
    pictureCreate(&p, 128, 128);
    for (int32_t y = 0; y < 128; y++)
        for (int32_t x = 0; x < 128; x++) {
            float u = (x + 0.5f) / 128.0f, v = (y + 0.5f) / 128.0f;
            float f = smoothStep(0.08f, 0.5f, u < 0.5f ? u : 1.0f - u) * smoothStep(0.16f, 0.5f, v < 0.5f ? v : 1.0f - v);
            f = std::sqrt(f);
            float* q = picturePixel(&p, x, y);
            q[0] = kLook.glow.r * f;
            q[1] = kLook.glow.g * f;
            q[2] = kLook.glow.b * f;
            q[3] = 1.0f;
        }
    int32_t result = writeSetJpeg(dir, number, "button_hover.jpg", &p, 0, 0);
    pictureFree(&p);
    return result;
}

// Selected row: the accent colour, a little lighter at the top.
int32_t bakeHighlight(const char* dir, int32_t number) {
    Picture p;
    pictureCreate(&p, 32, 32);
    for (int32_t y = 0; y < 32; y++)
        for (int32_t x = 0; x < 32; x++) {
            Colour c = mixColour(kLook.accentTop, kLook.accentBottom, (y + 0.5f) / 32.0f);
            float* q = picturePixel(&p, x, y);
            q[0] = c.r;
            q[1] = c.g;
            q[2] = c.b;
            q[3] = 1.0f;
        }
    int32_t result = writeSetJpeg(dir, number, "list_highlight.jpg", &p, 0, 0);
    pictureFree(&p);
    return result;
}

// Thumb grip: three short bars across the middle of a 1 : 2 image (the thumb is twice as tall as
// it is wide).
int32_t bakeGrip(const char* dir, int32_t number) {
    Picture p;
    clearTo(&p, 64, 128, kLook.grip);
    for (int32_t i = -1; i <= 1; i++) {
        float y0 = 64.0f + i * 11.0f - 2.0f, y1 = y0 + 4.0f;
        float xs[4] = {19.0f, 45.0f, 45.0f, 19.0f};
        float ys[4] = {y0, y0, y1, y1};
        fillPolygon(&p, xs, ys, 4, kLook.grip, 0.9f);
    }
    int32_t result = writeSetJpeg(dir, number, "scroll_thumb_grip.jpg", &p, 1, 0);
    pictureFree(&p);
    return result;
}
}  // namespace

int32_t bakeInterfaceImages(const char* dir) {
    // Borders in canvas units: windows 48, buttons 32 for the outer and 32 for the inner frame. The
    // button face starts 0.55 of a border inside the button (0.05 into the inner frame, which
    // starts half a border in); both its frames draw the same rounded outline.
    const FrameStyle window = {{0.30f, 0.42f}, 0.5625f, windowProfile};
    const FrameStyle outer = {{0.55f, 0.20f}, 0.0f, buttonOuterProfile};
    const FrameStyle face = {{0.05f, 0.20f}, 0.0f, buttonFaceProfile};
    const FrameStyle pressed = {{0.05f, 0.20f}, 0.0f, buttonPressedProfile};
    char name[64];
    int32_t r = bakeFrame(dir, 0, "window_frame", window);
    if (r == 0) r = bakeFlat(dir, 3, "panel_fill.jpg", kLook.panel);
    if (r == 0) r = bakeFlat(dir, 4, "filler04.jpg", kLook.filler);
    if (r == 0) r = bakeFrame(dir, 5, "button_outer", outer);
    if (r == 0) r = bakeFrame(dir, 8, "button_inner", face);
    if (r == 0) r = bakeFlat(dir, 11, "button_fill.jpg", kLook.button);
    if (r == 0) r = bakeFrame(dir, 12, "button_pressed", pressed);
    if (r == 0) r = bakeFlat(dir, 15, "button_pressed_fill.jpg", kLook.pressed);
    if (r == 0) r = bakeGlow(dir, 16);
    if (r == 0) r = bakeArrow(dir, 17, "dropdown_arrow.jpg", false, 22.0f);
    if (r == 0) r = bakeHighlight(dir, 18);
    if (r == 0) r = bakeFlat(dir, 19, "list_fill.jpg", kLook.listFill);
    if (r == 0) r = bakeArrow(dir, 20, "scroll_up.jpg", true, 26.0f);
    if (r == 0) r = bakeArrow(dir, 21, "scroll_down.jpg", false, 26.0f);
    for (int32_t n = 22; n <= 33 && r == 0; n++) {
        std::snprintf(name, sizeof name, "filler%02d.jpg", n);
        r = bakeFlat(dir, n, name, kLook.filler);
    }
    if (r == 0) r = bakeGrip(dir, 34);
    return r;
}
