// Images, textures and materials: the IMAGE, TEXTURE and MATERIAL libraries, and at mesh-building
// time the import of a material's images (checked, copied into the texture directory, converted to
// JPEG unless our decoder reads them, registered in the texture cache) and its colours.
#pragma once
#include <libxml/tree.h>

#include <cstdint>

struct Material;
struct ImageProbe;

void readImageLibrary(const xmlNode* library);
void readTextureLibrary(const xmlNode* library);
void readMaterialLibrary(const xmlNode* library);
// The texture named by the URL's fragment and that texture's image; true only when both exist.
bool findTextureImage(const char* url, int32_t* texture, int32_t* image);
// Forgets what the images of the previous document gave (at the start and end of each import).
void materialImportReset();
// Imports one image: reads it (a regular file within the size cap whose bytes are an image of a
// format we convert: image_probe.h), copies it into the texture directory under its own name or,
// when different bytes hold that name or its JPEG's name there, as "stem-2.ext", "stem-3.ext", ...
// (the same bytes met again reuse their copy and JPEG, so they keep one texture id), converts it
// and registers it in the cache with the given target, alpha-map flag and compression mode. The
// texture id, or -1 with the reason in the import's messages ("[ERROR] image %s is not a readable
// image.", its size, the converter, an unwritable directory); nothing of a refused image stays in
// the directory. An image asked for again within one import gives its first result at once.
int32_t importTexture(const char* imagePath, const char* textureDirectory, int32_t targetId, uint8_t alphaMap,
                      uint8_t compression);
// Leaves a lower-case ".jpg" that our decoder accepts at the probed size alone; converts anything
// else to a JPEG beside it in the converter process and changes name (PATH_CAPACITY bytes) to the
// converted file's name. IMAGE_CONVERT_* (image_convert.h), with *error the system's error number
// when the converter cannot be started or cannot write.
int32_t convertImage(char* name, const char* directory, const ImageProbe* probe, int32_t* error);
// Imports the textures of a material for one mesh: each diffuse map, and an opacity map as the alpha
// of the diffuse map imported just before it. Returns the usable textures (at most 1) and the
// first one's id in *firstId. -1 material: 0.
int32_t materialImportTextures(int32_t material, const char* textureDirectory, int32_t* firstId);
// Carries the material's colours into a mesh material; a textured one also gets the pack name.
void materialApplyColours(int32_t material, Material* out, const char* textureDirectory);
