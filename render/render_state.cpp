#include "render/render_state.h"

#include <cstdio>
#include <cstring>

#include "object/mesh.h"
#include "render/mesh_draw.h"
#include "render/view.h"

RenderCaps renderCaps;
ExtensionFlags extensions;

namespace {
struct RenderState {
    RenderPlatform platform = {nullptr, nullptr};
    float clearRed = 0, clearGreen = 0, clearBlue = 0;
    uint8_t clearColour = 1, clearDepth = 1, clearStencil = 0;
    int32_t width = 0, height = 0;
    // The interface canvas the scissor mapping works in, as the 2D toolkit last set it up; its
    // fixed 4000 x 3000 until then.
    float canvasWidth = 4000.0f, canvasHeight = 3000.0f;
};
RenderState state;

bool supported(const char* name) {
    return state.platform.extensionSupported && state.platform.extensionSupported(name);
}

// Looks one entry point up; a missing one clears the extension's flag.
template <typename T>
void lookUp(T* slot, const char* name, uint8_t* flag) {
    void* p = state.platform.procAddress ? state.platform.procAddress(name) : nullptr;
    *slot = reinterpret_cast<T>(p);
    if (!p) *flag = 0;
}

void probeCapabilities() {
    renderCaps.vendor = (const char*)glGetString(GL_VENDOR);
    renderCaps.renderer = (const char*)glGetString(GL_RENDERER);
    const char* version = (const char*)glGetString(GL_VERSION);
    renderCaps.versionMajor = renderCaps.versionMinor = renderCaps.versionRevision = 0;
    if (version)
        std::sscanf(version, "%d.%d.%d", &renderCaps.versionMajor, &renderCaps.versionMinor,
                    &renderCaps.versionRevision);
    const char* r = renderCaps.renderer ? renderCaps.renderer : "";
    renderCaps.accelerated =
        (std::strstr(r, "llvmpipe") || std::strstr(r, "softpipe") || std::strstr(r, "swrast")) ? 0 : 1;
    GLint value = 0;
    glGetIntegerv(GL_STENCIL_BITS, &value);
    renderCaps.stencilBits = value;
    value = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &value);
    renderCaps.maxTextureSize = value;
    renderCaps.maxTextureUnits = 0;
}

void probeExtensions() {
    std::memset(&extensions, 0, sizeof extensions);
    static const char* const names[EXT_COUNT] = {
        "GL_ARB_multitexture",          "GL_ARB_texture_compression",        "GL_ARB_vertex_buffer_object",
        "GL_ARB_texture_env_combine",   "GL_ARB_texture_env_dot3",           "GL_EXT_texture_filter_anisotropic",
        "GL_EXT_separate_specular_color", "GL_ARB_texture_cube_map",         "GL_EXT_texture_edge_clamp"};
    for (int e = 0; e < EXT_COUNT; e++) {
        extensions.flag[e] = supported(names[e]) ? 1 : 0;
        if (!extensions.flag[e]) continue;
        uint8_t* f = &extensions.flag[e];
        ExtensionFlags& x = extensions;
        switch (e) {
            case EXT_MULTITEXTURE: {
                static const char* const types[8] = {"d", "dv", "f", "fv", "i", "iv", "s", "sv"};
                int k = 0;
                for (int dim = 1; dim <= 4; dim++) {
                    for (const char* type : types) {
                        char name[64];
                        std::snprintf(name, sizeof name, "glMultiTexCoord%d%sARB", dim, type);
                        lookUp(&x.multiTexCoord[k++], name, f);
                    }
                }
                lookUp(&x.glActiveTextureARB, "glActiveTextureARB", f);
                lookUp(&x.glClientActiveTextureARB, "glClientActiveTextureARB", f);
                break;
            }
            case EXT_TEXTURE_COMPRESSION:
                lookUp(&x.glCompressedTexImage3DARB, "glCompressedTexImage3DARB", f);
                lookUp(&x.glCompressedTexImage2DARB, "glCompressedTexImage2DARB", f);
                lookUp(&x.glCompressedTexImage1DARB, "glCompressedTexImage1DARB", f);
                lookUp(&x.glCompressedTexSubImage3DARB, "glCompressedTexSubImage3DARB", f);
                lookUp(&x.glCompressedTexSubImage2DARB, "glCompressedTexSubImage2DARB", f);
                lookUp(&x.glCompressedTexSubImage1DARB, "glCompressedTexSubImage1DARB", f);
                lookUp(&x.glGetCompressedTexImageARB, "glGetCompressedTexImageARB", f);
                break;
            case EXT_VERTEX_BUFFER_OBJECT:
                lookUp(&x.glBindBufferARB, "glBindBufferARB", f);
                lookUp(&x.glDeleteBuffersARB, "glDeleteBuffersARB", f);
                lookUp(&x.glGenBuffersARB, "glGenBuffersARB", f);
                lookUp(&x.glIsBufferARB, "glIsBufferARB", f);
                lookUp(&x.glBufferDataARB, "glBufferDataARB", f);
                lookUp(&x.glBufferSubDataARB, "glBufferSubDataARB", f);
                lookUp(&x.glGetBufferSubDataARB, "glGetBufferSubDataARB", f);
                lookUp(&x.glMapBufferARB, "glMapBufferARB", f);
                lookUp(&x.glUnmapBufferARB, "glUnmapBufferARB", f);
                lookUp(&x.glGetBufferParameterivARB, "glGetBufferParameterivARB", f);
                lookUp(&x.glGetBufferPointervARB, "glGetBufferPointervARB", f);
                break;
            default:
                break;  // recorded only
        }
    }
    if (extensions.flag[EXT_MULTITEXTURE]) {
        GLint units = 0;
        glGetIntegerv(GL_MAX_TEXTURE_UNITS_ARB, &units);
        renderCaps.maxTextureUnits = units;
    }
}
}  // namespace

void render_set_platform(const RenderPlatform* platform) {
    state.platform = platform ? *platform : RenderPlatform{nullptr, nullptr};
}

void render_init() {
    meshSetReleaseHook(mesh_drop_buffers);
    view_table_init();
    probeCapabilities();
    probeExtensions();
    glEnable(GL_SCISSOR_TEST);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glEnable(GL_NORMALIZE);
    glDisable(GL_FOG);
    glFrontFace(GL_CCW);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthFunc(GL_LESS);
}

void render_shutdown() { view_table_free(); }

void render_set_clear(uint8_t red, uint8_t green, uint8_t blue, uint8_t colour, uint8_t depth, uint8_t stencil) {
    state.clearRed = red * 0.003921568f;
    state.clearGreen = green * 0.003921568f;
    state.clearBlue = blue * 0.003921568f;
    state.clearColour = colour;
    state.clearDepth = depth;
    state.clearStencil = stencil;
    glClearColor(state.clearRed, state.clearGreen, state.clearBlue, 1.0f);
}

void render_clear() {
    GLbitfield mask = 0;
    if (state.clearColour == 1) mask |= GL_COLOR_BUFFER_BIT;
    if (state.clearDepth == 1) mask |= GL_DEPTH_BUFFER_BIT;
    if (state.clearStencil == 1) mask |= GL_STENCIL_BUFFER_BIT;
    glClear(mask);
}

void render_resize(int32_t width, int32_t height) {
    state.width = width;
    state.height = height;
    glViewport(0, 0, width, height);
    glScissor(0, 0, width, height);
}

void render_window_size(int32_t* width, int32_t* height) {
    *width = state.width;
    *height = state.height;
}

void render_set_canvas_size(float width, float height) {
    state.canvasWidth = width;
    state.canvasHeight = height;
}

void render_scissor_rect(float x0, float y0, float x1, float y1, int32_t out[4]) {
    float sx = state.canvasWidth > 0 ? (float)state.width / state.canvasWidth : 0.0f;
    float sy = state.canvasHeight > 0 ? (float)state.height / state.canvasHeight : 0.0f;
    float h = state.canvasHeight;
    out[0] = (int32_t)(x0 * sx);
    out[1] = (int32_t)((h - y1) * sy);
    out[2] = (int32_t)((x1 - x0) * sx);
    out[3] = (int32_t)((y1 - y0) * sy);
}

void render_scissor_virtual(float x0, float y0, float x1, float y1) {
    int32_t r[4];
    render_scissor_rect(x0, y0, x1, y1, r);
    glScissor(r[0], r[1], r[2] < 0 ? 0 : r[2], r[3] < 0 ? 0 : r[3]);
}
