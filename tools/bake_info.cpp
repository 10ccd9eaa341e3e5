// Image 35, the info picture: the program's name and version on a card with rounded corners. The
// viewer shows it in a rectangle of 1240 x 540 canvas units, so it is drawn at twice that size and
// then averaged down to a power-of-two texture (1024 x 512); stretched back it keeps its
// proportions.
#include <cmath>
#include <cstdio>

#include "tools/bake.h"

namespace {
const int32_t kDrawWidth = 2480, kDrawHeight = 1080;  // 2 x the canvas rectangle
const int32_t kWidth = 1024, kHeight = 512;

// Signed distance to a rounded rectangle (x0, y0)-(x1, y1) of corner radius r, positive inside.
float roundedDistance(float x, float y, float x0, float y0, float x1, float y1, float r) {
    float qx = std::fabs(x - (x0 + x1) / 2.0f) - ((x1 - x0) / 2.0f - r);
    float qy = std::fabs(y - (y0 + y1) / 2.0f) - ((y1 - y0) / 2.0f - r);
    float ox = qx > 0.0f ? qx : 0.0f, oy = qy > 0.0f ? qy : 0.0f;
    float in = qx > qy ? qx : qy;
    return r - std::sqrt(ox * ox + oy * oy) - (in < 0.0f ? in : 0.0f);
}

// A cube seen from a corner, three shaded faces: the emblem of a 3D viewer.
void drawCube(Picture* p, float cx, float cy, float size) {
    float h = size * 0.5f, w = size * 0.433f;  // hexagon: half height, half width (cos 30)
    float topX[4] = {cx, cx + w, cx, cx - w};
    float topY[4] = {cy - h, cy - h * 0.5f, cy, cy - h * 0.5f};
    float leftX[4] = {cx - w, cx, cx, cx - w};
    float leftY[4] = {cy - h * 0.5f, cy, cy + h, cy + h * 0.5f};
    float rightX[4] = {cx, cx + w, cx + w, cx};
    float rightY[4] = {cy, cy - h * 0.5f, cy + h * 0.5f, cy + h};
    int32_t x0 = (int32_t)(cx - w) - 2, x1 = (int32_t)(cx + w) + 2;
    int32_t y0 = (int32_t)(cy - h) - 2, y1 = (int32_t)(cy + h) + 2;
    for (int32_t y = y0; y <= y1; y++)
        for (int32_t x = x0; x <= x1; x++) {
            pictureBlend(p, x, y, rgb255(124, 172, 232), polygonCoverage(topX, topY, 4, x, y));
            pictureBlend(p, x, y, rgb255(70, 118, 186), polygonCoverage(leftX, leftY, 4, x, y));
            pictureBlend(p, x, y, rgb255(46, 84, 142), polygonCoverage(rightX, rightY, 4, x, y));
        }
}

// Text centred on x, its size reduced when it would be wider than maxWidth.
int32_t centredText(Picture* p, int32_t font, float size, float maxWidth, float x, float baseline, const char* text,
                    Colour colour) {
    float w = textWidth(font, size, text);
    if (w > maxWidth) {
        size *= maxWidth / w;
        w = textWidth(font, size, text);
    }
    return drawText(p, font, size, x - w / 2.0f, baseline, text, colour, 1.0f);
}
}  // namespace

int32_t bakeInfoPicture(const char* dir) {
    Picture big;
    pictureCreate(&big, kDrawWidth, kDrawHeight);
    // The card: a gradient from slate to a darker slate, a light rim, corners of 56 canvas units.
    const float inset = 4.0f, radius = 112.0f, rim = 4.0f;
    Colour top = rgb255(52, 61, 76), bottom = rgb255(26, 31, 40), rimColour = rgb255(150, 166, 190);
    for (int32_t y = 0; y < kDrawHeight; y++)
        for (int32_t x = 0; x < kDrawWidth; x++) {
            float d = roundedDistance(x + 0.5f, y + 0.5f, inset, inset, kDrawWidth - inset, kDrawHeight - inset,
                                      radius);
            float* q = picturePixel(&big, x, y);
            Colour c = mixColour(top, bottom, (float)y / kDrawHeight);
            c = mixColour(rimColour, c, clamp01(d - rim + 0.5f));
            q[0] = c.r;
            q[1] = c.g;
            q[2] = c.b;
            q[3] = clamp01(d + 0.5f);
        }
    const float centre = kDrawWidth / 2.0f;
    drawCube(&big, centre, 250.0f, 240.0f);
    char version[32];
    std::snprintf(version, sizeof version, "v%s", VCV_VERSION_TEXT);
    int32_t result = centredText(&big, BAKE_FONT_BOLD, 150.0f, 2200.0f, centre, 590.0f, "VORTEN COLLADA VIEWER",
                                 rgb255(236, 240, 246));
    // A thin accent line between the name and the rest.
    for (int32_t y = 640; y < 646; y++)
        for (int32_t x = (int32_t)centre - 560; x < (int32_t)centre + 560; x++)
            pictureBlend(&big, x, y, rgb255(82, 138, 206), 1.0f);
    if (result == 0)
        result = centredText(&big, BAKE_FONT_REGULAR, 84.0f, 2200.0f, centre, 780.0f, "COLLADA .dae viewer",
                             rgb255(188, 198, 214));
    if (result == 0)
        result = centredText(&big, BAKE_FONT_BOLD, 84.0f, 2200.0f, centre, 930.0f, version, rgb255(124, 172, 232));
    Picture small;
    pictureCreate(&small, kWidth, kHeight);
    pictureResample(&big, &small);
    pictureFree(&big);
    if (result == 0) result = writeSetJpeg(dir, 35, "info.jpg", &small, 1, 0);
    pictureFree(&small);
    return result;
}
