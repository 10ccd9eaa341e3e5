#include "gui/draw.h"

#include "gui/canvas.h"
#include "math/vec3.h"
#include "render/gl.h"
#include "render/render_state.h"
#include "texsets/interface_sets.h"
#include "texture/texture_manager.h"

namespace {

// Widgets scrolled or placed off the canvas cost only this test: nothing is bound or drawn.
bool culled(float x0, float y0, float x1, float y1) {
    return !(x1 >= 0.0f && x0 <= canvasWidth && y1 >= 0.0f && y0 <= canvasHeight);
}

void normalBlend() { glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); }
void additiveBlend() { glBlendFunc(GL_SRC_ALPHA, GL_ONE); }

void setWrap(GLint mode) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, mode);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, mode);
}

// Interface textures carry anisotropy 2, and with anisotropy above 1 an implementation may filter
// as it likes (Mesa keeps filtering linearly), so it drops to 1 while nearest is wanted;
// applyFilterMode puts it back afterwards.
void nearestFilters() {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    if (extensions.flag[EXT_TEXTURE_FILTER_ANISOTROPIC] == 1)
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, 1.0f);
}

// One textured quad in one colour: (x0, y0), (x0, y1), (x1, y1), (x1, y0) with the texture
// rectangle (s0, t0)-(s1, t1) laid the same way. The colour is given inside glBegin, as a vertex
// colour like the glyphs' (which change colour within one quad list): a colour given outside makes
// Mesa's software rasterizer compile a second triangle-setup routine, about 4 ms of the first frame.
void texturedQuad(float x0, float y0, float x1, float y1, float s0, float t0, float s1, float t1, uint8_t r,
                  uint8_t g, uint8_t b, uint8_t a) {
    glBegin(GL_QUADS);
    glColor4ub(r, g, b, a);
    glTexCoord2f(s0, t0);
    glVertex2f(x0, y0);
    glTexCoord2f(s0, t1);
    glVertex2f(x0, y1);
    glTexCoord2f(s1, t1);
    glVertex2f(x1, y1);
    glTexCoord2f(s1, t0);
    glVertex2f(x1, y0);
    glEnd();
}

void triangle(float x0, float y0, float x1, float y1, float x2, float y2, float s0, float t0, float s1, float t1,
              float s2, float t2, Rgba8 c0, Rgba8 c1, Rgba8 c2) {
    glBegin(GL_TRIANGLES);
    glColor4ub(c0.r, c0.g, c0.b, c0.a);
    glTexCoord2f(s0, t0);
    glVertex2f(x0, y0);
    glColor4ub(c1.r, c1.g, c1.b, c1.a);
    glTexCoord2f(s1, t1);
    glVertex2f(x1, y1);
    glColor4ub(c2.r, c2.g, c2.b, c2.a);
    glTexCoord2f(s2, t2);
    glVertex2f(x2, y2);
    glEnd();
}

void imageQuad(float xa, float ya, float xb, float yb, float xc, float yc, float xd, float yd, uint8_t r,
               uint8_t g, uint8_t b, uint8_t a) {
    glBegin(GL_QUADS);
    glColor4ub(r, g, b, a);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(xa, ya);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(xb, yb);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(xc, yc);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(xd, yd);
    glEnd();
}

// Image k after the given one, or -1 (binds texture 0) past the set's end, so no sum overflows.
int32_t imageAfter(int32_t image, int32_t k) { return image >= 0 && image < SET_IMAGES - k ? image + k : -1; }

void plainQuad(float xa, float ya, float xb, float yb, float xc, float yc, float xd, float yd, uint8_t r,
               uint8_t g, uint8_t b, uint8_t a) {
    glDisable(GL_TEXTURE_2D);
    glColor4ub(r, g, b, a);
    glBegin(GL_QUADS);
    glVertex2f(xa, ya);
    glVertex2f(xb, yb);
    glVertex2f(xc, yc);
    glVertex2f(xd, yd);
    glEnd();
    glEnable(GL_TEXTURE_2D);
}

}  // namespace

void begin2d(float width, float height) {
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    canvasWidth = width;
    canvasHeight = height;
    render_set_canvas_size(width, height);  // the renderer's scissor mapping follows the canvas
    // Bottom and top swapped so that y grows downwards.
    glOrtho(0.0, (double)width, (double)height, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void drawTriangle(int32_t set, int32_t image, float x0, float y0, float x1, float y1, float x2, float y2, float s0,
                  float t0, float s1, float t1, float s2, float t2, Rgba8 c0, Rgba8 c1, Rgba8 c2) {
    bindSetImage(set, image);
    normalBlend();
    setWrap(GL_CLAMP);
    triangle(x0, y0, x1, y1, x2, y2, s0, t0, s1, t1, s2, t2, c0, c1, c2);
    setWrap(GL_REPEAT);
}

void drawTriangleNearest(int32_t set, int32_t image, float x0, float y0, float x1, float y1, float x2, float y2,
                         float s0, float t0, float s1, float t1, float s2, float t2, Rgba8 c0, Rgba8 c1, Rgba8 c2) {
    bindSetImage(set, image);
    normalBlend();
    setWrap(GL_CLAMP);
    nearestFilters();
    triangle(x0, y0, x1, y1, x2, y2, s0, t0, s1, t1, s2, t2, c0, c1, c2);
    setWrap(GL_REPEAT);
    applyFilterMode(interfaceFilterMode);
}

void drawImage(int32_t set, int32_t image, float x0, float y0, float x1, float y1, uint8_t r, uint8_t g, uint8_t b,
               uint8_t a) {
    if (culled(x0, y0, x1, y1)) return;
    bindSetImage(set, image);
    normalBlend();
    texturedQuad(x0, y0, x1, y1, 0.0f, 0.0f, 1.0f, 1.0f, r, g, b, a);
}

void drawManagedImage(int32_t textureSet, int32_t textureId, float x0, float y0, float x1, float y1, uint8_t r,
                      uint8_t g, uint8_t b, uint8_t a) {
    if (culled(x0, y0, x1, y1)) return;
    texture_bind(textureSet, textureId);
    normalBlend();
    texturedQuad(x0, y0, x1, y1, 0.0f, 0.0f, 1.0f, 1.0f, r, g, b, a);
}

void drawImageUv(int32_t set, int32_t image, float x0, float y0, float x1, float y1, float s0, float t0, float s1,
                 float t1, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    if (culled(x0, y0, x1, y1)) return;
    bindSetImage(set, image);
    normalBlend();
    texturedQuad(x0, y0, x1, y1, s0, t0, s1, t1, r, g, b, a);
}

void drawImageNearest(int32_t set, int32_t image, float x0, float y0, float x1, float y1, uint8_t r, uint8_t g,
                      uint8_t b, uint8_t a) {
    if (culled(x0, y0, x1, y1)) return;
    bindSetImage(set, image);
    normalBlend();
    setWrap(GL_CLAMP);
    nearestFilters();
    texturedQuad(x0, y0, x1, y1, 0.0f, 0.0f, 1.0f, 1.0f, r, g, b, a);
    setWrap(GL_REPEAT);
    applyFilterMode(interfaceFilterMode);
}

void drawImageAdditive(int32_t set, int32_t image, float x0, float y0, float x1, float y1, uint8_t r, uint8_t g,
                       uint8_t b, uint8_t a) {
    if (culled(x0, y0, x1, y1)) return;
    bindSetImage(set, image);
    additiveBlend();
    setWrap(GL_CLAMP);
    texturedQuad(x0, y0, x1, y1, 0.0f, 0.0f, 1.0f, 1.0f, r, g, b, a);
    setWrap(GL_REPEAT);
    normalBlend();
}

void drawImageGradient(int32_t set, int32_t image, float x0, float y0, float x1, float y1, Rgba8 c00, Rgba8 c01,
                       Rgba8 c11, Rgba8 c10) {
    if (culled(x0, y0, x1, y1)) return;
    bindSetImage(set, image);
    normalBlend();
    setWrap(GL_CLAMP);
    glBegin(GL_QUADS);
    glColor4ub(c00.r, c00.g, c00.b, c00.a);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(x0, y0);
    glColor4ub(c01.r, c01.g, c01.b, c01.a);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(x0, y1);
    glColor4ub(c11.r, c11.g, c11.b, c11.a);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(x1, y1);
    glColor4ub(c10.r, c10.g, c10.b, c10.a);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(x1, y0);
    glEnd();
    setWrap(GL_REPEAT);
}

void drawImageQuad(int32_t set, int32_t image, float xa, float ya, float xb, float yb, float xc, float yc, float xd,
                   float yd, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    bindSetImage(set, image);
    normalBlend();
    imageQuad(xa, ya, xb, yb, xc, yc, xd, yd, r, g, b, a);
}

void drawImageQuadNearest(int32_t set, int32_t image, float xa, float ya, float xb, float yb, float xc, float yc,
                          float xd, float yd, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    bindSetImage(set, image);
    normalBlend();
    setWrap(GL_CLAMP);
    nearestFilters();
    imageQuad(xa, ya, xb, yb, xc, yc, xd, yd, r, g, b, a);
    setWrap(GL_REPEAT);
    applyFilterMode(interfaceFilterMode);
}

void drawLine(float x0, float y0, float x1, float y1, float width, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    (void)width;  // callers pass it, but lines keep the current GL line width
    glDisable(GL_TEXTURE_2D);
    glColor4ub(r, g, b, a);
    glBegin(GL_LINES);
    glVertex2f(x0, y0);
    glVertex2f(x1, y1);
    glEnd();
    glEnable(GL_TEXTURE_2D);
}

void drawCircle(float cx, float cy, float radius, uint8_t fill, float lineWidth, int32_t segments, Rgba8 outline,
                Rgba8 fillColour) {
    // No segments would mean a zero step count and angles of 0 / 0.
    if (segments <= 0) return;
    glDisable(GL_TEXTURE_2D);
    normalBlend();
    glLineWidth(lineWidth);
    const Vec3 centre = {cx, cy, 0.0f};
    const Vec3 start = {cx, cy + radius, 0.0f};  // straight below the centre on screen
    Vec3 p;
    points_rotate_axis(&p, &start, 1, centre, 2, 0.0f);
    for (int32_t i = 0; i < segments; i++) {
        Vec3 q;
        points_rotate_axis(&q, &start, 1, centre, 2, (float)(i + 1) * 360.0f / (float)segments);
        if (fill == 1) {
            glColor4ub(fillColour.r, fillColour.g, fillColour.b, fillColour.a);
            glBegin(GL_TRIANGLES);
            glVertex2f(p.x, p.y);
            glVertex2f(q.x, q.y);
            glVertex2f(cx, cy);
            glEnd();
        }
        glColor4ub(outline.r, outline.g, outline.b, outline.a);
        glBegin(GL_LINES);
        glVertex2f(p.x, p.y);
        glVertex2f(q.x, q.y);
        glEnd();
        p = q;
    }
    glEnable(GL_TEXTURE_2D);
    glLineWidth(1.0f);
}

void fillRect(float x0, float y0, float x1, float y1, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    normalBlend();
    plainQuad(x0, y0, x0, y1, x1, y1, x1, y0, r, g, b, a);
}

void fillRectAdditive(float x0, float y0, float x1, float y1, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    additiveBlend();
    plainQuad(x0, y0, x0, y1, x1, y1, x1, y0, r, g, b, a);
    normalBlend();
}

void fillQuad(float xa, float ya, float xb, float yb, float xc, float yc, float xd, float yd, uint8_t r, uint8_t g,
              uint8_t b, uint8_t a) {
    normalBlend();
    plainQuad(xa, ya, xb, yb, xc, yc, xd, yd, r, g, b, a);
}

void drawPanelFill(int32_t set, int32_t image, float x0, float y0, float x1, float y1, float border, float tile,
                   const Rgba8* colour) {
    if (!colour) return;
    const float h = border / 2.0f;
    const float left = x0 + h, top = y0 + h, right = x1 - h, bottom = y1 - h;
    if (tile != 0.0f)
        drawImageUv(set, image, left, top, right, bottom, 0.0f, 0.0f, (right - left) / tile, (bottom - top) / tile,
                    colour->r, colour->g, colour->b, colour->a);
    else
        drawImage(set, image, left, top, right, bottom, colour->r, colour->g, colour->b, colour->a);
}

void drawFrame(int32_t set, int32_t image, float x0, float y0, float x1, float y1, float b, const Rgba8* colour) {
    // The repeat counts divide by 2b; a border that is not positive (or not a number) has nothing to draw.
    if (!colour || !(b > 0.0f)) return;
    const uint8_t r = colour->r, g = colour->g, bl = colour->b, a = colour->a;
    drawImageUv(set, image, x0, y0, x0 + b, y0 + b, 0.0f, 0.0f, 0.5f, 0.5f, r, g, bl, a);
    drawImageUv(set, image, x1 - b, y0, x1, y0 + b, 0.5f, 0.0f, 1.0f, 0.5f, r, g, bl, a);
    drawImageUv(set, image, x1 - b, y1 - b, x1, y1, 0.5f, 0.5f, 1.0f, 1.0f, r, g, bl, a);
    drawImageUv(set, image, x0, y1 - b, x0 + b, y1, 0.0f, 0.5f, 0.5f, 1.0f, r, g, bl, a);
    // A box narrower than 2b gives negative counts: the edges are then drawn mirrored, as before.
    const int32_t across = imageAfter(image, 1), down = imageAfter(image, 2);
    const float n = ((x1 - b) - (x0 + b)) / (2.0f * b);
    drawImageUv(set, across, x0 + b, y0, x1 - b, y0 + b, 0.0f, 0.0f, n, 0.5f, r, g, bl, a);
    drawImageUv(set, across, x0 + b, y1 - b, x1 - b, y1, 0.0f, 0.5f, n, 1.0f, r, g, bl, a);
    const float m = ((y1 - b) - (y0 + b)) / (2.0f * b);
    drawImageUv(set, down, x0, y0 + b, x0 + b, y1 - b, 0.0f, 0.0f, 0.5f, m, r, g, bl, a);
    drawImageUv(set, down, x1 - b, y0 + b, x1, y1 - b, 0.5f, 0.0f, 1.0f, m, r, g, bl, a);
}
