// What the OpenGL implementation offers (probed once at start-up), the extension entry points the
// engine uses, the per-frame clear, the viewport and the scissor mapping from canvas units.
#pragma once
#include <cstdint>

#include "render/gl.h"

struct RenderCaps {
    const char* vendor;
    const char* renderer;
    int32_t versionMajor, versionMinor, versionRevision;
    uint8_t accelerated;  // 0 when GL_RENDERER names a software rasterizer
    int32_t stencilBits;
    int32_t maxTextureSize;
    int32_t maxTextureUnits;  // 0 without multitexturing
};

// Extension flags in probe order; a flag is 1 only when the name is listed and every entry point of
// it resolved.
enum {
    EXT_MULTITEXTURE = 0,
    EXT_TEXTURE_COMPRESSION,
    EXT_VERTEX_BUFFER_OBJECT,
    EXT_TEXTURE_ENV_COMBINE,
    EXT_TEXTURE_ENV_DOT3,
    EXT_TEXTURE_FILTER_ANISOTROPIC,
    EXT_SEPARATE_SPECULAR_COLOR,
    EXT_TEXTURE_CUBE_MAP,
    EXT_TEXTURE_EDGE_CLAMP,
    EXT_COUNT
};

struct ExtensionFlags {
    uint8_t flag[EXT_COUNT];
    // GL_ARB_multitexture: the 32 glMultiTexCoord{1,2,3,4}{d,dv,f,fv,i,iv,s,sv}ARB in that order, then
    // the unit selectors.
    void (*multiTexCoord[32])();
    PFNGLACTIVETEXTUREARBPROC glActiveTextureARB;
    PFNGLCLIENTACTIVETEXTUREARBPROC glClientActiveTextureARB;
    // GL_ARB_texture_compression.
    PFNGLCOMPRESSEDTEXIMAGE3DARBPROC glCompressedTexImage3DARB;
    PFNGLCOMPRESSEDTEXIMAGE2DARBPROC glCompressedTexImage2DARB;
    PFNGLCOMPRESSEDTEXIMAGE1DARBPROC glCompressedTexImage1DARB;
    PFNGLCOMPRESSEDTEXSUBIMAGE3DARBPROC glCompressedTexSubImage3DARB;
    PFNGLCOMPRESSEDTEXSUBIMAGE2DARBPROC glCompressedTexSubImage2DARB;
    PFNGLCOMPRESSEDTEXSUBIMAGE1DARBPROC glCompressedTexSubImage1DARB;
    PFNGLGETCOMPRESSEDTEXIMAGEARBPROC glGetCompressedTexImageARB;
    // GL_ARB_vertex_buffer_object.
    PFNGLBINDBUFFERARBPROC glBindBufferARB;
    PFNGLDELETEBUFFERSARBPROC glDeleteBuffersARB;
    PFNGLGENBUFFERSARBPROC glGenBuffersARB;
    PFNGLISBUFFERARBPROC glIsBufferARB;
    PFNGLBUFFERDATAARBPROC glBufferDataARB;
    PFNGLBUFFERSUBDATAARBPROC glBufferSubDataARB;
    PFNGLGETBUFFERSUBDATAARBPROC glGetBufferSubDataARB;
    PFNGLMAPBUFFERARBPROC glMapBufferARB;
    PFNGLUNMAPBUFFERARBPROC glUnmapBufferARB;
    PFNGLGETBUFFERPARAMETERIVARBPROC glGetBufferParameterivARB;
    PFNGLGETBUFFERPOINTERVARBPROC glGetBufferPointervARB;
};

// Questions the renderer asks the window layer; installed by the window glue (tests install their own).
struct RenderPlatform {
    bool (*extensionSupported)(const char* name);
    void* (*procAddress)(const char* name);
};

extern RenderCaps renderCaps;
extern ExtensionFlags extensions;

// Installs the window layer's answers; must precede render_init.
void render_set_platform(const RenderPlatform* platform);
// Start-up, after the context is current: the object model's mesh release hook, view table, debug
// flags, probes, initial GL state.
void render_init();
// Shut-down: releases the view table.
void render_shutdown();
// Clear colour (bytes, stored / 255) and which buffers render_clear touches; sets glClearColor.
void render_set_clear(uint8_t red, uint8_t green, uint8_t blue, uint8_t colour, uint8_t depth, uint8_t stencil);
// glClear of the chosen buffers.
void render_clear();
// Stores the window size and sets viewport and scissor to (0, 0, width, height).
void render_resize(int32_t width, int32_t height);
// Window size as last given to render_resize.
void render_window_size(int32_t* width, int32_t* height);
// The size of the 2D toolkit's canvas, which the toolkit hands over whenever it sets up 2D drawing
// (the renderer sits below it); 4000 x 3000 until the first call.
void render_set_canvas_size(float width, float height);
// Scissor from a canvas rectangle (top-left x0, y0; bottom-right x1, y1) to window pixels.
void render_scissor_virtual(float x0, float y0, float x1, float y1);
// The four integers render_scissor_virtual passes to glScissor (for callers and tests).
void render_scissor_rect(float x0, float y0, float x1, float y1, int32_t out[4]);
