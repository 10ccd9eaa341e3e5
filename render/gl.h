// OpenGL declarations for the modules that draw or upload: the GL 1.1 functions, the extension
// enums and the entry-point types of the extensions the renderer resolves at start-up.
#pragma once
#define GL_GLEXT_PROTOTYPES 0
#include <GL/gl.h>
#include <GL/glext.h>
