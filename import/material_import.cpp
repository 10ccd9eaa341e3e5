#include "import/material_import.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>

#include "import/image_convert.h"
#include "import/image_probe.h"
#include "import/read_shared.h"
#include "import/workspace.h"
#include "import/xml_access.h"
#include "object/material.h"
#include "pack/jpeg_decoder.h"
#include "strings/text.h"
#include "system/files.h"
#include "system/memory.h"
#include "system/regular_file.h"
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
        r->source = xmlAttrRawText(c, "source");  // resolveUrl takes the first word, else the whole
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
        int32_t index = addMaterialRecord(c);
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

namespace {
void reportUnwritable(const char* directory, int32_t error) {
    importMessageOnce("[ERROR] image directory %s cannot be written: %s.", directory, std::strerror(error));
}

// True when dir + name holds exactly these bytes.
bool holdsBytes(const char* dir, const char* name, const uint8_t* bytes, int64_t size) {
    if (fileSize(name, dir) != size) return false;
    char path[PATH_CAPACITY];
    if (joinPath(path, dir, name) != 0) return false;
    uint8_t* held = nullptr;
    int64_t heldSize = 0;
    int32_t error = 0;
    bool same = readRegularFile(path, size, &held, &heldSize, &error) == REGULAR_FILE_OK && heldSize == size &&
                (size == 0 || std::memcmp(held, bytes, (size_t)size) == 0);
    MEM_FREE(held);
    return same;
}

// The name an image gets in the texture directory. Its own name, unless that name or the name of
// its converted JPEG is taken there by different bytes: then "stem-2.ext", "stem-3.ext", ... Names
// the pack builder would take for cache files get the prefix "image-". 0 with *same set when the
// directory already holds these very bytes under that name (the same image imported before), or
// -1 when no name fits.
int32_t chooseImportName(char* out, const char* name, const uint8_t* bytes, int64_t size, const char* dir,
                         bool* same) {
    char base[PATH_CAPACITY], stem[PATH_CAPACITY], extension[PATH_CAPACITY];
    *same = false;
    if (patternMatches(TEXTURE_CACHE_PATTERN, name)) {
        if (std::snprintf(base, sizeof base, "image-%s", name) >= (int)sizeof base) return -1;
    } else {
        textCopy(base, name, PATH_CAPACITY);
    }
    stripExtension(stem, base);
    fileExtension(extension, base);
    if (std::strcmp(stem, base) == 0) extension[0] = '\0';  // a leading dot is no extension here
    for (int32_t k = 1; k <= 1000; k++) {
        if (k == 1) textCopy(out, base, PATH_CAPACITY);
        else if (std::snprintf(out, PATH_CAPACITY, "%s-%d%s%s", stem, k, extension[0] ? "." : "", extension) >=
                 PATH_CAPACITY)
            return -1;
        char jpegName[PATH_CAPACITY];
        replaceExtension(jpegName, out, "jpg");
        if (!out[0] || !jpegName[0]) return -1;
        if (fileExistsIn(out, dir)) {
            if (holdsBytes(dir, out, bytes, size)) {
                *same = true;
                return 0;
            }
            continue;
        }
        if (std::strcmp(jpegName, out) != 0 && fileExistsIn(jpegName, dir)) continue;
        return 0;
    }
    return -1;
}

// A JPEG in dir our decoder reads as is, at the probed size.
bool acceptedJpeg(const char* dir, const char* name, const ImageProbe* probe) {
    char path[PATH_CAPACITY];
    if (joinPath(path, dir, name) != 0) return false;
    uint8_t* bytes = nullptr;
    int64_t size = 0;
    int32_t error = 0, width = 0, height = 0;
    bool accepted = readRegularFile(path, IMAGE_MAX_FILE_BYTES, &bytes, &size, &error) == REGULAR_FILE_OK &&
                    jpeg_image_size(bytes, (int32_t)size, &width, &height) == 0 && width == probe->width &&
                    height == probe->height;
    MEM_FREE(bytes);
    return accepted;
}

// The image at imagePath, read when it is a regular file of bounded size holding an image of a
// format we convert within the size cap; otherwise the reason is reported and the result is -1.
int32_t readImageSource(const char* imagePath, uint8_t** bytes, int64_t* size, ImageProbe* probe) {
    int32_t error = 0;
    int32_t read = readRegularFile(imagePath, IMAGE_MAX_FILE_BYTES, bytes, size, &error);
    if (read == REGULAR_FILE_TOO_LARGE) {
        importMessageOnce("[ERROR] image %s is too large: %lld bytes (at most %lld).", imagePath, (long long)*size,
                   (long long)IMAGE_MAX_FILE_BYTES);
        return -1;
    }
    if (read == REGULAR_FILE_UNREADABLE || read == REGULAR_FILE_MISSING) {
        importMessageOnce("[ERROR] image %s cannot be read: %s.", imagePath, std::strerror(error));
        return -1;
    }
    int32_t verdict = read == REGULAR_FILE_OK ? imageProbe(*bytes, *size, probe) : PROBE_NOT_IMAGE;
    if (verdict == PROBE_TOO_LARGE)
        importMessageOnce("[ERROR] image %s is too large: %d x %d pixels (at most %d x %d).", imagePath, probe->width,
                   probe->height, (int)IMAGE_MAX_EDGE, (int)IMAGE_MAX_EDGE);
    else if (verdict != PROBE_OK)
        importMessageOnce("[ERROR] image %s is not a readable image.", imagePath);
    if (verdict == PROBE_OK) return 0;
    *bytes = (uint8_t*)MEM_FREE(*bytes);
    return -1;
}
}  // namespace

int32_t convertImage(char* name, const char* directory, const ImageProbe* probe, int32_t* error) {
    *error = 0;
    char extension[PATH_CAPACITY];
    fileExtension(extension, name);
    if (std::strcmp(extension, "jpg") == 0 && acceptedJpeg(directory, name, probe)) return IMAGE_CONVERT_OK;
    char path[PATH_CAPACITY], jpegName[PATH_CAPACITY], jpegPath[PATH_CAPACITY];
    replaceExtension(jpegName, name, "jpg");
    if (joinPath(path, directory, name) != 0 || !jpegName[0] || joinPath(jpegPath, directory, jpegName) != 0)
        return IMAGE_CONVERT_REFUSED;
    int32_t result = imageConvertIsolated(path, jpegPath, probe, error);
    if (result == IMAGE_CONVERT_OK) std::memcpy(name, jpegName, std::strlen(jpegName) + 1);
    return result;
}

namespace {
// What each image import of the current document gave: a material shared by many meshes asks for
// the same image again for each, and neither the reading, comparing and copying nor a conversion
// (which may take the converter's whole time limit for a file that makes it spin) is done twice.
struct MaterialImportState {
    std::unordered_map<std::string, int32_t> imported;  // path, directory and cache fields -> id or -1
};
MaterialImportState materials;

int32_t importTextureFirstTime(const char* imagePath, const char* textureDirectory, int32_t targetId,
                               uint8_t alphaMap, uint8_t compression);
}  // namespace

void materialImportReset() { materials.imported.clear(); }

int32_t importTexture(const char* imagePath, const char* textureDirectory, int32_t targetId, uint8_t alphaMap,
                      uint8_t compression) {
    std::string key = std::string(imagePath) + '\n' + textureDirectory + '\n' + std::to_string(targetId) + ' ' +
                      std::to_string(alphaMap) + ' ' + std::to_string(compression);
    auto found = materials.imported.find(key);
    if (found != materials.imported.end()) return found->second;
    int32_t id = importTextureFirstTime(imagePath, textureDirectory, targetId, alphaMap, compression);
    materials.imported.emplace(key, id);
    return id;
}

namespace {
int32_t importTextureFirstTime(const char* imagePath, const char* textureDirectory, int32_t targetId,
                               uint8_t alphaMap, uint8_t compression) {
    char sourceName[PATH_CAPACITY], name[PATH_CAPACITY];
    fileNamePart(sourceName, imagePath);
    if (!sourceName[0]) return -1;
    uint8_t* bytes = nullptr;
    int64_t size = 0;
    ImageProbe probe;
    if (readImageSource(imagePath, &bytes, &size, &probe) != 0) return -1;
    bool same = false;
    if (chooseImportName(name, sourceName, bytes, size, textureDirectory, &same) != 0) {
        MEM_FREE(bytes);
        importMessageOnce("[ERROR] image %s has no free name in %s.", imagePath, textureDirectory);
        return -1;
    }
    // The copy is written from the bytes that were checked, so a file changed meanwhile is not taken.
    if (!same && writeWholeFile(name, textureDirectory, bytes, (int32_t)size) != 0) {
        reportUnwritable(textureDirectory, errno);
        MEM_FREE(bytes);
        return -1;
    }
    MEM_FREE(bytes);
    char copyName[PATH_CAPACITY], jpegName[PATH_CAPACITY];
    std::memcpy(copyName, name, std::strlen(name) + 1);
    replaceExtension(jpegName, name, "jpg");
    int32_t error = 0, converted = IMAGE_CONVERT_OK;
    // The same image met again keeps the JPEG made the first time.
    if (same && acceptedJpeg(textureDirectory, jpegName, &probe))
        std::memcpy(name, jpegName, std::strlen(jpegName) + 1);
    else
        converted = convertImage(name, textureDirectory, &probe, &error);
    if (converted != IMAGE_CONVERT_OK) {
        if (converted == IMAGE_CONVERT_NOT_STARTED)
            importMessageOnce("[ERROR] image %s cannot be converted: the converter %s cannot be started (%s).", imagePath,
                       imageConverterProgram(), std::strerror(error));
        else if (converted == IMAGE_CONVERT_WRITE_FAILED)
            reportUnwritable(textureDirectory, error);
        else
            importMessageOnce("[ERROR] image %s is not a readable image.", imagePath);
        if (!same) deleteFile(copyName, textureDirectory);
        return -1;
    }
    // Registered in the cache (texture_cache_add's work), with a write failure reported.
    int32_t id = texture_cache_find_id(textureDirectory, targetId, alphaMap, compression, name);
    char cacheName[PATH_CAPACITY];
    texture_cache_format_name(cacheName, id, targetId, alphaMap, compression, name);
    uint8_t* jpeg = nullptr;
    int32_t jpegSize = 0;
    int32_t registered = -1;
    if (cacheName[0] && readWholeFile(name, textureDirectory, &jpeg, &jpegSize) == 0) {
        registered = writeWholeFile(cacheName, textureDirectory, jpeg, jpegSize);
        if (registered != 0) reportUnwritable(textureDirectory, errno);
    }
    MEM_FREE(jpeg);
    return registered == 0 ? id : -1;
}
}  // namespace

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
