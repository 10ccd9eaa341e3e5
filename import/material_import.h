// Images, textures and materials: the IMAGE, TEXTURE and MATERIAL libraries, and at mesh-building
// time the import of a material's images (copied into the texture directory, converted to JPEG
// unless our decoder reads them, registered in the texture cache) and its colours.
#pragma once
#include <libxml/tree.h>

#include <cstdint>

struct Material;

void readImageLibrary(const xmlNode* library);
void readTextureLibrary(const xmlNode* library);
void readMaterialLibrary(const xmlNode* library);
// The texture named by the URL's fragment and that texture's image; true only when both exist.
bool findTextureImage(const char* url, int32_t* texture, int32_t* image);
// Copies the image into the texture directory, converts it and registers it in the cache with the
// given target, alpha-map flag and compression mode. The texture id, or -1 when it cannot be copied.
int32_t importTexture(const char* imagePath, const char* textureDirectory, int32_t targetId, uint8_t alphaMap,
                      uint8_t compression);
// Leaves a lower-case ".jpg" that our decoder accepts alone; converts anything else DevIL can load
// to a JPEG beside it and changes name (PATH_CAPACITY bytes) to the converted file's name.
void convertImage(char* name, const char* directory);
// Imports the textures of a material for one mesh: each diffuse map, and an opacity map as the alpha
// of the diffuse map imported just before it. Returns the usable textures (at most 1) and the
// first one's id in *firstId. -1 material: 0.
int32_t materialImportTextures(int32_t material, const char* textureDirectory, int32_t* firstId);
// Carries the material's colours into a mesh material; a textured one also gets the pack name.
void materialApplyColours(int32_t material, Material* out, const char* textureDirectory);
