#include "import/material_import.h"

#include <IL/il.h>

#include <cstring>

#include "import/workspace.h"
#include "import/xml_access.h"
#include "object/material.h"
#include "pack/jpeg_decoder.h"
#include "strings/text.h"
#include "system/files.h"
#include "system/memory.h"
#include "texture/texture_cache.h"
#include "texture/texture_pack.h"

static const char* const kModule = "vor3d_import_1_11";

void readImageLibrary(const xmlNode* library) {
    for (const xmlNode* c = library->children; c; c = c->next) {
        if (!xmlIsElement(c, "image")) continue;
        int32_t index = slotAdd(&imageTable, 1, -1);
        ImageRec* r = slotGet<ImageRec>(&imageTable, index);
        r->id = xmlAttrText(c, "id");
        r->name = xmlAttrText(c, "name");
        r->source = xmlAttrText(c, "source");
        registerId(&imageTable, r->id, index);
    }
}

void readTextureLibrary(const xmlNode* library) {
    for (const xmlNode* c = library->children; c; c = c->next) {
        if (!xmlIsElement(c, "texture")) continue;
        int32_t index = slotAdd(&textureTable, 1, -1);
        TextureRec* r = slotGet<TextureRec>(&textureTable, index);
        r->id = xmlAttrText(c, "id");
        r->name = xmlAttrText(c, "name");
        r->imageUrl = importTextCopy("");
        r->usage = USAGE_NONE;
        for (const xmlNode* t = c->children; t; t = t->next) {
            if (xmlIsElement(t, "param")) {
                char name[64];
                xmlAttrString(t, "name", name, sizeof name);
                if (std::strcmp(name, "DIFFUSE") == 0) r->usage = USAGE_DIFFUSE;
                else if (std::strcmp(name, "OPACITY") == 0) r->usage = USAGE_OPACITY;
            } else if (xmlIsElement(t, "technique")) {
                char profile[64];
                xmlAttrString(t, "profile", profile, sizeof profile);
                if (std::strcmp(profile, "COMMON") != 0) continue;
                for (const xmlNode* in = t->children; in; in = in->next) {
                    if (!xmlIsElement(in, "input")) continue;
                    char semantic[64];
                    xmlAttrString(in, "semantic", semantic, sizeof semantic);
                    if (std::strcmp(semantic, "IMAGE") != 0) continue;
                    importTextFree(r->imageUrl);
                    r->imageUrl = xmlAttrText(in, "source");
                }
            }
        }
        registerId(&textureTable, r->id, index);
    }
}

bool findTextureImage(const char* url, int32_t* texture, int32_t* image) {
    char id[2048];
    urlFragment(id, url);
    *texture = findById(&textureTable, id);
    *image = -1;
    const TextureRec* t = slotGet<TextureRec>(&textureTable, *texture);
    if (!t) return false;
    urlFragment(id, t->imageUrl);
    *image = findById(&imageTable, id);
    return *image >= 0;
}

// A texture input of a material's pass: a new entry when its texture and image are known.
static void addTextureEntry(int32_t material, const xmlNode* input) {
    MaterialRec* m = slotGet<MaterialRec>(&materialRecTable, material);
    if (m->textureCount >= MATERIAL_REC_TEXTURES) return;
    char* source = xmlAttrText(input, "source");
    int32_t texture = -1, image = -1;
    bool found = findTextureImage(source, &texture, &image);
    importTextFree(source);
    if (!found) return;
    int32_t e = m->textureCount++;
    m->textureUsage[e] = slotGet<TextureRec>(&textureTable, texture)->usage;
    char id[2048], path[2048];
    if (resolveUrl(id, path, slotGet<ImageRec>(&imageTable, image)->source) != 0) {
        importMessage("[ERROR] image %s not found.", path);
        m->textureUsage[e] = USAGE_NONE;
    }
    m->textureFile[e] = importTextCopy(path);
}

static void readProgramParams(int32_t material, const xmlNode* program) {
    static const struct {
        const char* name;
        int flag;
        int count;
    } params[] = {{"AMBIENT", 0, 3}, {"DIFFUSE", 1, 3},  {"SPECULAR", 2, 3},
                  {"SHININESS", 3, 1}, {"EMISSION", 4, 3}, {"TRANSPARENCY", 5, 1}};
    for (const xmlNode* c = program->children; c; c = c->next) {
        if (!xmlIsElement(c, "param")) continue;
        char name[64];
        xmlAttrString(c, "name", name, sizeof name);
        MaterialRec* m = slotGet<MaterialRec>(&materialRecTable, material);
        float* targets[6] = {m->ambient, m->diffuse, m->specular, &m->shininess, m->emission, &m->transparency};
        for (const auto& p : params) {
            if (std::strcmp(name, p.name) != 0) continue;
            m->has[p.flag] = 1;
            float values[3] = {0, 0, 0};
            xmlReadFloats(c, values, p.count);
            std::memcpy(targets[p.flag], values, sizeof(float) * (size_t)p.count);
        }
    }
}

void readMaterialLibrary(const xmlNode* library) {
    for (const xmlNode* c = library->children; c; c = c->next) {
        if (!xmlIsElement(c, "material")) continue;
        int32_t index = slotAdd(&materialRecTable, 1, -1);
        MaterialRec* m = slotGet<MaterialRec>(&materialRecTable, index);
        std::memset(m, 0, sizeof *m);
        m->id = xmlAttrText(c, "id");
        m->name = xmlAttrText(c, "name");
        for (const xmlNode* shader = c->children; shader; shader = shader->next) {
            if (!xmlIsElement(shader, "shader")) continue;
            for (const xmlNode* tech = shader->children; tech; tech = tech->next) {
                if (!xmlIsElement(tech, "technique")) continue;
                char profile[64];
                xmlAttrString(tech, "profile", profile, sizeof profile);
                if (std::strcmp(profile, "COMMON") != 0) continue;
                for (const xmlNode* pass = tech->children; pass; pass = pass->next) {
                    if (!xmlIsElement(pass, "pass")) continue;
                    for (const xmlNode* in = pass->children; in; in = in->next) {
                        if (!xmlIsElement(in, "input")) continue;
                        char semantic[64];
                        xmlAttrString(in, "semantic", semantic, sizeof semantic);
                        if (std::strcmp(semantic, "TEXTURE") == 0) addTextureEntry(index, in);
                    }
                    for (const xmlNode* prog = pass->children; prog; prog = prog->next)
                        if (xmlIsElement(prog, "program")) readProgramParams(index, prog);
                }
            }
        }
        // Registered last: a material cannot be found while its own entries are being read.
        registerId(&materialRecTable, slotGet<MaterialRec>(&materialRecTable, index)->id, index);
    }
}

void convertImage(char* name, const char* directory) {
    char extension[PATH_CAPACITY];
    fileExtension(extension, name);
    if (std::strcmp(extension, "jpg") == 0) {
        uint8_t* pixels = nullptr;
        int32_t width = 0, height = 0, ok = 0;
        jpeg_decode_file(&pixels, name, directory, 0, &width, &height, 1, &ok);
        memFree(pixels, kModule, __LINE__);
        if (ok) return;
    }
    char path[PATH_CAPACITY], jpegName[PATH_CAPACITY], jpegPath[PATH_CAPACITY];
    if (joinPath(path, directory, name) != 0) return;
    replaceExtension(jpegName, name, "jpg");
    if (!jpegName[0] || joinPath(jpegPath, directory, jpegName) != 0) return;
    ilEnable(IL_FILE_OVERWRITE);
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    bool converted = false;
    if (ilLoadImage(path) == IL_TRUE) {
        ilSetInteger(IL_JPG_QUALITY, 96);
        ilSetInteger(IL_JPG_SAVE_FORMAT, IL_JFIF);
        // JPEG holds no alpha; DevIL's writer wants three (or one) channels of bytes.
        if (ilGetInteger(IL_IMAGE_FORMAT) != IL_LUMINANCE) ilConvertImage(IL_RGB, IL_UNSIGNED_BYTE);
        converted = ilSave(IL_JPG, jpegPath) == IL_TRUE;
    }
    ilDeleteImages(1, &image);
    if (converted) std::memcpy(name, jpegName, std::strlen(jpegName) + 1);
}

int32_t importTexture(const char* imagePath, const char* textureDirectory, int32_t targetId, uint8_t alphaMap,
                      uint8_t compression) {
    char name[PATH_CAPACITY], sourceDir[PATH_CAPACITY];
    fileNamePart(name, imagePath);
    if (!name[0]) return -1;
    std::strcpy(sourceDir, "");
    directoryPart(sourceDir, imagePath);
    // The image is copied under its own name; an image already in the texture directory stays.
    if (std::strcmp(sourceDir, textureDirectory) != 0 &&
        copyWholeFile(name, textureDirectory, name, sourceDir) != 0)
        return -1;
    convertImage(name, textureDirectory);
    return texture_cache_add(name, textureDirectory, targetId, alphaMap, compression);
}

int32_t materialImportTextures(int32_t material, const char* textureDirectory, int32_t* firstId) {
    *firstId = -1;
    MaterialRec* m = slotGet<MaterialRec>(&materialRecTable, material);
    if (!m) return 0;
    int32_t usable = 0;
    int32_t diffuseId = -1;
    bool opacityMerged = false;
    for (int32_t e = 0; e < m->textureCount; e++) {
        if (m->textureUsage[e] == USAGE_DIFFUSE) {
            int32_t id = importTexture(m->textureFile[e], textureDirectory, -1, 0, 1);
            if (id < 0) {
                m->textureUsage[e] = USAGE_NONE;
                continue;
            }
            diffuseId = id;
            opacityMerged = false;
            if (usable == 0) *firstId = id;
            if (usable < 1) usable++;
        } else if (m->textureUsage[e] == USAGE_OPACITY && diffuseId >= 0 && !opacityMerged) {
            importTexture(m->textureFile[e], textureDirectory, diffuseId, 1, 1);
            m->textureUsage[e] = USAGE_NONE;
            opacityMerged = true;
        }
    }
    return usable;
}

void materialApplyColours(int32_t material, Material* out, const char* textureDirectory) {
    const MaterialRec* m = slotGet<MaterialRec>(&materialRecTable, material);
    if (!m) return;
    auto rgb = [](float dst[4], const float src[3]) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
        dst[3] = 1.0f;
    };
    if (m->has[0]) rgb(out->ambient, m->ambient);
    if (m->has[1]) rgb(out->diffuse, m->diffuse);
    if (m->has[2]) rgb(out->specular, m->specular);
    if (m->has[3]) out->shininess = m->shininess;
    if (m->has[4]) rgb(out->emission, m->emission);
    if (m->has[5] && m->transparency < 1.0f) out->diffuse[3] = 1.0f - m->transparency;
    if (out->mode == MATERIAL_TEXTURED) texture_pack_name(out->textureName, textureDirectory);
}
