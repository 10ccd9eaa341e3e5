// The OpenGL side of texture upload, shared by the texture manager and the interface texture sets:
// compression of prepared levels by the driver, level upload and the manager's filter table. Every
// call needs a current context and works on GL_TEXTURE_2D.
#pragma once
#include <cstdint>

#include "texture/texture_image.h"

// Compresses each level through the driver: the level goes into a scratch texture with the given
// compressed internal format; when the driver reports it compressed, the level keeps the internal
// format, size and bytes read back with glGetCompressedTexImageARB. Levels the driver did not
// compress stay as they are. Does nothing without the texture-compression extension.
void texture_compress_levels(ImageLevels* levels, uint32_t internalFormat);
// Uploads every level k of the bound texture: compressed bytes with glCompressedTexImage2DARB,
// others as RGBA bytes with glTexImage2D.
void texture_upload_levels(const ImageLevels* levels);
// Filters of the bound texture by mode: 0 nearest; 1 linear; 2 linear with linear mipmaps; 3 as 2
// with anisotropy 2. Modes 0 to 2 set anisotropy 1. The anisotropy is set only when the
// anisotropic-filter extension is present. Other modes act as mode 1 (no mip chain exists for them).
void texture_apply_filter(int32_t mode);
