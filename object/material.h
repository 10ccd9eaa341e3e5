// Surface description embedded in every mesh: lighting mode, colours, and the texture set that a
// textured material draws with.
#pragma once
#include <cstdint>

// Lighting mode of a material.
enum : uint8_t { MATERIAL_UNLIT = 0, MATERIAL_LIT = 1, MATERIAL_TEXTURED = 2 };
constexpr int32_t MATERIAL_TEXTURE_SLOTS = 32;
constexpr int32_t MATERIAL_NAME_CAPACITY = 2048;

struct Mesh;

// One mesh's material.
struct Material {
    uint8_t mode;                             // MATERIAL_UNLIT, MATERIAL_LIT or MATERIAL_TEXTURED
    float ambient[4];                         // RGBA
    float diffuse[4];                         // RGBA; an alpha below 1 makes the mesh transparent
    float specular[4];                        // RGBA
    float shininess;                          // specular exponent
    float emission[4];                        // RGBA
    uint8_t blend;                            // 1 when the first texture carries an alpha mask
    char textureName[MATERIAL_NAME_CAPACITY]; // texture pack to load, relative to the texture
                                              // directory; empty for none
    int32_t textureSet;                       // the loaded TextureSet, -1 for none
    int32_t textureIds[MATERIAL_TEXTURE_SLOTS];  // texture id per texture-coordinate set, -1 for none
};

// Lit, grey, opaque, untextured; no texture set and no texture ids.
void materialInit(Material* material);
// True for MATERIAL_TEXTURED.
bool materialIsTextured(const Material* material);
// True when the diffuse alpha is below 1 (1.0 exactly is opaque).
bool materialIsTransparent(const Material* material);
// A textured material whose first texture has an alpha mask gets blend = 1; never clears it.
void materialUpdateBlend(Material* material);
// Drops a textured mesh's material to MATERIAL_UNLIT when its set is missing or any of its
// texture-coordinate sets names no texture of that set.
void materialCheckTextures(Mesh* mesh);
// Releases the material's texture set; textureSet becomes -1.
void materialReleaseTextures(Material* material);
// Loads the texture set named by textureName from directory into textureSet (the set held before is
// released or kept as the loader decides), then materialCheckTextures and materialUpdateBlend.
void materialLoadTextures(Mesh* mesh, const char* directory);

// What materials ask of the texture manager, which sits above the object model and installs these
// at its start-up. Until then no set loads, so textured materials fall back to unlit.
struct MaterialTextureHooks {
    int32_t (*setLoad)(int32_t old, const char* name, const char* dir);  // the set, or -1
    int32_t (*setRelease)(int32_t set);                                  // always -1
    int32_t (*textureCount)(int32_t set);                                // 0 for no set
    bool (*alphaMask)(int32_t set, int32_t id);                          // the texture has an alpha mask
};
// Installs the hooks (copied); null removes them.
void materialSetTextureHooks(const MaterialTextureHooks* hooks);
