#include "texture/texture_gl.h"

#include "render/gl.h"
#include "render/render_state.h"
#include "system/memory.h"

static const char* const kModule = "vor3d_texture_1_11";

void texture_compress_levels(ImageLevels* levels, uint32_t internalFormat) {
    if (extensions.flag[EXT_TEXTURE_COMPRESSION] != 1 || !extensions.glGetCompressedTexImageARB) return;
    for (int32_t k = 0; k < levels->count; k++) {
        ImageLevel& level = levels->level[k];
        GLuint scratch = 0;
        glGenTextures(1, &scratch);
        glBindTexture(GL_TEXTURE_2D, scratch);
        glTexImage2D(GL_TEXTURE_2D, 0, (GLint)internalFormat, level.width, level.height, 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, level.pixels);
        GLint compressed = 0, format = 0, size = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPRESSED_ARB, &compressed);
        if (compressed == 1) {
            glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
            glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPRESSED_IMAGE_SIZE_ARB, &size);
            if (size > 0) {
                level.compressed = (uint8_t*)MEM_ALLOC(level.compressed, size);
                extensions.glGetCompressedTexImageARB(GL_TEXTURE_2D, 0, level.compressed);
                level.compressedSize = size;
                level.internalFormat = format;
            }
        }
        glDeleteTextures(1, &scratch);
    }
}

void texture_upload_levels(const ImageLevels* levels) {
    for (int32_t k = 0; k < levels->count; k++) {
        const ImageLevel& level = levels->level[k];
        if (level.compressed && extensions.glCompressedTexImage2DARB)
            extensions.glCompressedTexImage2DARB(GL_TEXTURE_2D, k, (GLenum)level.internalFormat, level.width,
                                                 level.height, 0, level.compressedSize, level.compressed);
        else
            glTexImage2D(GL_TEXTURE_2D, k, GL_RGBA, level.width, level.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                         level.pixels);
    }
}

void texture_apply_filter(int32_t mode) {
    if (mode < 0 || mode > 3) mode = 1;
    static const GLint mag[4] = {GL_NEAREST, GL_LINEAR, GL_LINEAR, GL_LINEAR};
    static const GLint min[4] = {GL_NEAREST, GL_LINEAR, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR_MIPMAP_LINEAR};
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag[mode]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min[mode]);
    if (extensions.flag[EXT_TEXTURE_FILTER_ANISOTROPIC] == 1)
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, mode == 3 ? 2.0f : 1.0f);
}
