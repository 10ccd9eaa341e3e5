// 2D drawing primitives on the virtual canvas (canvas.h): textured rectangles, triangles and free
// quadrilaterals from interface texture sets (texsets/interface_sets.h) or the texture manager,
// untextured rectangles, lines and circles, and the two composites the widgets draw their skins
// with. Every primitive issues its own glBegin/glEnd and binds its own texture.
//
// Rules named below: *normal* blend = (SRC_ALPHA, ONE_MINUS_SRC_ALPHA); *additive* = (SRC_ALPHA,
// ONE), after which normal blend is set again. *Culled*: nothing at all happens (not even the bind)
// unless x1 >= 0, x0 <= canvasWidth, y1 >= 0 and y0 <= canvasHeight. *Clamp*: wrap S/T = GL_CLAMP
// while drawing, GL_REPEAT after. *Nearest*: min/mag filter GL_NEAREST (and anisotropy 1, where the
// extension is present, since anisotropy may override the filters) while drawing, then
// applyFilterMode(interfaceFilterMode). Untextured primitives disable GL_TEXTURE_2D for the call
// and enable it after. Blending itself stays enabled by the renderer.
#pragma once
#include <cstdint>

#include "system/system.h"

// Interface drawing set-up: alpha test, depth test, lighting and culling off, texturing on; an
// orthographic projection 0..width x 0..height with y down; identity model-view. Records
// canvasWidth / canvasHeight, here and in the renderer's scissor mapping.
void begin2d(float width, float height);

// Triangle k = 0, 1, 2 at (xk, yk) with texcoord (sk, tk) and colour k. Normal; clamp.
void drawTriangle(int32_t set, int32_t image, float x0, float y0, float x1, float y1, float x2, float y2, float s0,
                  float t0, float s1, float t1, float s2, float t2, Rgba8 c0, Rgba8 c1, Rgba8 c2);
// The same; nearest.
void drawTriangleNearest(int32_t set, int32_t image, float x0, float y0, float x1, float y1, float x2, float y2,
                         float s0, float t0, float s1, float t1, float s2, float t2, Rgba8 c0, Rgba8 c1, Rgba8 c2);
// The image stretched over (x0, y0)-(x1, y1). Normal; culled.
void drawImage(int32_t set, int32_t image, float x0, float y0, float x1, float y1, uint8_t r, uint8_t g, uint8_t b,
               uint8_t a);
// The same with a texture of the texture manager (nothing bound when either index is -1).
void drawManagedImage(int32_t textureSet, int32_t textureId, float x0, float y0, float x1, float y1, uint8_t r,
                      uint8_t g, uint8_t b, uint8_t a);
// The image with texcoords (s0, t0)-(s1, t1); wrap stays REPEAT, so coordinates above 1 tile it.
void drawImageUv(int32_t set, int32_t image, float x0, float y0, float x1, float y1, float s0, float t0, float s1,
                 float t1, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
// drawImage with clamp and nearest.
void drawImageNearest(int32_t set, int32_t image, float x0, float y0, float x1, float y1, uint8_t r, uint8_t g,
                      uint8_t b, uint8_t a);
// drawImage with additive blending and clamp.
void drawImageAdditive(int32_t set, int32_t image, float x0, float y0, float x1, float y1, uint8_t r, uint8_t g,
                       uint8_t b, uint8_t a);
// drawImage with a colour per corner: (x0, y0), (x0, y1), (x1, y1), (x1, y0). Clamp.
void drawImageGradient(int32_t set, int32_t image, float x0, float y0, float x1, float y1, Rgba8 c00, Rgba8 c01,
                       Rgba8 c11, Rgba8 c10);
// The image on the quadrilateral a (tex 0,0), b (0,1), c (1,1), d (1,0). Not culled.
void drawImageQuad(int32_t set, int32_t image, float xa, float ya, float xb, float yb, float xc, float yc, float xd,
                   float yd, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
// The same; clamp and nearest.
void drawImageQuadNearest(int32_t set, int32_t image, float xa, float ya, float xb, float yb, float xc, float yc,
                          float xd, float yd, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
// A line at the current GL line width (width is accepted and not used). Blend function untouched.
void drawLine(float x0, float y0, float x1, float y1, float width, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
// A circle of `segments` segments starting straight below the centre; filled (fill 1) with one
// triangle per segment in fillColour, outlined with one line per segment in outline at lineWidth
// (the GL line width is 1 afterwards). Nothing for segments <= 0.
void drawCircle(float cx, float cy, float radius, uint8_t fill, float lineWidth, int32_t segments, Rgba8 outline,
                Rgba8 fillColour);
// Untextured rectangle. Normal.
void fillRect(float x0, float y0, float x1, float y1, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
// The same, additive.
void fillRectAdditive(float x0, float y0, float x1, float y1, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
// Untextured quadrilateral a, b, c, d. Normal.
void fillQuad(float xa, float ya, float xb, float yb, float xc, float yc, float xd, float yd, uint8_t r, uint8_t g,
              uint8_t b, uint8_t a);

// The box inset by border / 2 on every side, filled with the image: stretched when tile is 0, else
// repeated so that one copy covers tile canvas units. Nothing for a null colour.
void drawPanelFill(int32_t set, int32_t image, float x0, float y0, float x1, float y1, float border, float tile,
                   const Rgba8* colour);
// A nine-piece border of thickness b from images image (corners in its quadrants), image + 1 (top
// edge in its upper half, bottom edge in its lower half, repeated along x) and image + 2 (left and
// right edges in its halves, repeated along y). Nothing for b <= 0 (or NaN) or a null colour. A box
// narrower than 2b gives negative repeat counts: the edges come out mirrored.
void drawFrame(int32_t set, int32_t image, float x0, float y0, float x1, float y1, float b, const Rgba8* colour);
