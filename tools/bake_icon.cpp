// The program's icon: a shaded cube whose faces carry a triangle mesh, drawn at each icon size
// rather than scaled, so that the small one stays sharp.
#include <IL/il.h>

#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "system/files.h"
#include "system/memory.h"
#include "tools/bake.h"

static const char* const kModule = "vcvbake";

namespace {
struct Point {
    float x, y;
};

Point add(Point a, Point b) { return Point{a.x + b.x, a.y + b.y}; }
Point sub(Point a, Point b) { return Point{a.x - b.x, a.y - b.y}; }
Point scale(Point a, float s) { return Point{a.x * s, a.y * s}; }

// Fills the polygon (pixel coordinates) with the colour shade(x, y) gives at each pixel's centre,
// visiting only the pixels of its bounding box.
template <typename Shade>
void fillPolygon(Picture* picture, const Point* points, int32_t n, Shade shade, float alpha) {
    float xs[8], ys[8];
    float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
    for (int32_t i = 0; i < n; i++) {
        xs[i] = points[i].x;
        ys[i] = points[i].y;
        x0 = std::fmin(x0, xs[i]);
        y0 = std::fmin(y0, ys[i]);
        x1 = std::fmax(x1, xs[i]);
        y1 = std::fmax(y1, ys[i]);
    }
    for (int32_t y = (int32_t)std::floor(y0); y <= (int32_t)std::ceil(y1); y++)
        for (int32_t x = (int32_t)std::floor(x0); x <= (int32_t)std::ceil(x1); x++) {
            float c = polygonCoverage(xs, ys, n, x, y);
            if (c > 0.0f) pictureBlend(picture, x, y, shade(x + 0.5f, y + 0.5f), c * alpha);
        }
}

// A line of the given width from a to b, with square ends reaching half the width beyond each.
void drawLine(Picture* picture, Point a, Point b, float width, Colour colour, float alpha) {
    Point d = sub(b, a);
    float len = std::sqrt(d.x * d.x + d.y * d.y);
    if (len <= 0.0f) return;
    Point along = scale(d, width * 0.5f / len);
    Point across = Point{-along.y, along.x};
    a = sub(a, along);
    b = add(b, along);
    Point quad[4] = {add(a, across), add(b, across), sub(b, across), sub(a, across)};
    fillPolygon(picture, quad, 4, [colour](float, float) { return colour; }, alpha);
}

// One face of the cube: corner o and edges u, v (pixels), lit from its colour at o to the colour at
// o + v, with a 3 x 3 grid of cells each cut by a diagonal.
void drawFace(Picture* picture, Point o, Point u, Point v, Colour near, Colour far, float meshWidth) {
    // The shade follows the distance along v, measured across u.
    Point normal = Point{-u.y, u.x};
    float across = normal.x * v.x + normal.y * v.y;
    Point corners[4] = {o, add(o, u), add(add(o, u), v), add(o, v)};
    fillPolygon(
        picture, corners, 4,
        [&](float x, float y) {
            float t = (normal.x * (x - o.x) + normal.y * (y - o.y)) / across;
            return mixColour(near, far, clamp01(t));
        },
        1.0f);
    Colour line = rgb255(255, 255, 255);
    for (int32_t i = 1; i < 3; i++) {
        float t = i / 3.0f;
        drawLine(picture, add(o, scale(u, t)), add(add(o, scale(u, t)), v), meshWidth, line, 0.45f);
        drawLine(picture, add(o, scale(v, t)), add(add(o, scale(v, t)), u), meshWidth, line, 0.45f);
    }
    for (int32_t i = 0; i < 3; i++)
        for (int32_t j = 0; j < 3; j++) {
            Point a = add(o, add(scale(u, i / 3.0f), scale(v, j / 3.0f)));
            Point b = add(o, add(scale(u, (i + 1) / 3.0f), scale(v, (j + 1) / 3.0f)));
            drawLine(picture, a, b, meshWidth, line, 0.3f);
        }
}

void drawIcon(Picture* picture) {
    float s = (float)picture->width;
    auto at = [s](float x, float y) { return Point{x * s, y * s}; };
    Point top = at(0.5f, 0.07f), upperLeft = at(0.12f, 0.285f), upperRight = at(0.88f, 0.285f);
    Point middle = at(0.5f, 0.5f), lowerLeft = at(0.12f, 0.715f), lowerRight = at(0.88f, 0.715f);
    Point bottom = at(0.5f, 0.93f);
    float meshWidth = std::fmax(0.6f, s * 0.008f), edgeWidth = std::fmax(1.2f, s * 0.02f);
    // The viewer's background blue, lit from above and the left.
    drawFace(picture, upperLeft, sub(top, upperLeft), sub(middle, upperLeft), rgb255(196, 222, 246),
             rgb255(150, 186, 222), meshWidth);
    drawFace(picture, upperLeft, sub(middle, upperLeft), sub(lowerLeft, upperLeft), rgb255(110, 152, 194),
             rgb255(78, 114, 156), meshWidth);
    drawFace(picture, middle, sub(upperRight, middle), sub(bottom, middle), rgb255(66, 98, 138),
             rgb255(44, 68, 102), meshWidth);
    const Point edges[][2] = {{top, upperLeft},       {top, upperRight},   {upperLeft, lowerLeft},
                              {upperRight, lowerRight}, {lowerLeft, bottom}, {lowerRight, bottom},
                              {upperLeft, middle},    {upperRight, middle}, {middle, bottom}};
    for (const auto& e : edges) drawLine(picture, e[0], e[1], edgeWidth, rgb255(24, 38, 58), 1.0f);
}

// The picture as an 8-bit RGBA PNG made by DevIL. 0, or -1 with a message.
int32_t writePng(const char* dir, const char* name, const Picture* picture) {
    int64_t count = (int64_t)picture->width * picture->height * 4;
    uint8_t* bytes = (uint8_t*)MEM_ALLOC(nullptr, count);
    for (int64_t i = 0; i < count; i++) bytes[i] = (uint8_t)std::lround(clamp01(picture->rgba[i]) * 255.0f);
    char path[PATH_CAPACITY];
    int32_t result = -1;
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    if (joinPath(path, dir, name) == 0 &&
        ilTexImage((ILuint)picture->width, (ILuint)picture->height, 1, 4, IL_RGBA, IL_UNSIGNED_BYTE, bytes) ==
            IL_TRUE) {
        ilRegisterOrigin(IL_ORIGIN_UPPER_LEFT);  // our rows run top to bottom
        while (ilGetError() != IL_NO_ERROR) {
        }
        if (ilSave(IL_PNG, path) == IL_TRUE && ilGetError() == IL_NO_ERROR) result = 0;
    }
    ilDeleteImages(1, &image);
    MEM_FREE(bytes);
    if (result != 0) std::fprintf(stderr, "vcvbake: cannot write the icon %s%s\n", dir, name);
    return result;
}
}  // namespace

int32_t bakeIcons(const char* outDir) {
    for (int32_t size : {48, 256}) {
        char dir[PATH_CAPACITY], sub[64];
        std::snprintf(sub, sizeof sub, "icons/%dx%d/", size, size);
        if (joinPath(dir, outDir, sub) != 0) return -1;
        makeDirectories(dir);
        Picture picture;
        pictureCreate(&picture, size, size);
        drawIcon(&picture);
        int32_t result = writePng(dir, "vcv.png", &picture);
        pictureFree(&picture);
        if (result != 0) return -1;
    }
    return 0;
}
