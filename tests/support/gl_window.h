// A real window with an OpenGL context for the tests that draw or upload, opened through the
// viewer's own window glue (needs an X display: these tests carry the "gl" label).
#pragma once
#include <GL/gl.h>

#include <cstdint>

// Opens the window library and a window of that size and title, with a 24-bit depth and 8-bit
// stencil buffer; true when the context is current. Every library loaded by then is kept loaded,
// so that driver allocations that are never freed stay nameable for the leak suppressions.
bool openTestWindow(const char* title, int32_t width, int32_t height);
// Closes the window and the window library.
void closeTestWindow();
// Keeps every library loaded so far resident (openTestWindow does it; tests that open the window
// through the viewer's own start-up call it after that).
void keepLoadedLibraries();
// A parameter of a level of the bound 2D texture, and of the bound texture itself (-1 when unknown).
GLint levelParam(GLenum name, GLint level = 0);
GLint textureParam(GLenum name);
