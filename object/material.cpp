#include "object/material.h"

#include "object/mesh.h"

// The texture manager's operations; all null until it starts.
static struct MaterialModule {
    MaterialTextureHooks textures = {nullptr, nullptr, nullptr, nullptr};
} materialModule;

static void setColour(float* colour, float r, float g, float b, float a) {
    colour[0] = r;
    colour[1] = g;
    colour[2] = b;
    colour[3] = a;
}

void materialInit(Material* material) {
    material->mode = MATERIAL_LIT;
    setColour(material->ambient, 0.2f, 0.2f, 0.2f, 1.0f);
    setColour(material->diffuse, 0.8f, 0.8f, 0.8f, 1.0f);
    setColour(material->specular, 0.0f, 0.0f, 0.0f, 1.0f);
    material->shininess = 0.0f;
    setColour(material->emission, 0.0f, 0.0f, 0.0f, 1.0f);
    material->blend = 0;
    material->textureName[0] = '\0';
    material->textureSet = -1;
    for (int32_t& id : material->textureIds) id = -1;
}

bool materialIsTextured(const Material* material) { return material->mode == MATERIAL_TEXTURED; }

// Written as "not at least 1" so that a NaN alpha also counts as transparent.
bool materialIsTransparent(const Material* material) { return !(material->diffuse[3] >= 1.0f); }

void materialUpdateBlend(Material* material) {
    if (!materialIsTextured(material)) return;
    const MaterialTextureHooks& t = materialModule.textures;
    if (t.alphaMask && t.alphaMask(material->textureSet, material->textureIds[0])) material->blend = 1;
}

void materialCheckTextures(Mesh* mesh) {
    Material* m = &mesh->material;
    if (!materialIsTextured(m)) return;
    if (m->textureSet == -1) {
        m->mode = MATERIAL_UNLIT;
        return;
    }
    const MaterialTextureHooks& t = materialModule.textures;
    int32_t count = t.textureCount ? t.textureCount(m->textureSet) : 0;
    int32_t sets = mesh->texCoordSets < MATERIAL_TEXTURE_SLOTS ? mesh->texCoordSets : MATERIAL_TEXTURE_SLOTS;
    for (int32_t i = 0; i < sets; i++)
        if (m->textureIds[i] < 0 || m->textureIds[i] >= count) m->mode = MATERIAL_UNLIT;
}

void materialReleaseTextures(Material* material) {
    const MaterialTextureHooks& t = materialModule.textures;
    material->textureSet = t.setRelease ? t.setRelease(material->textureSet) : -1;
}

void materialLoadTextures(Mesh* mesh, const char* directory) {
    Material* m = &mesh->material;
    const MaterialTextureHooks& t = materialModule.textures;
    if (t.setLoad) m->textureSet = t.setLoad(m->textureSet, m->textureName, directory);
    materialCheckTextures(mesh);
    materialUpdateBlend(m);
}

void materialSetTextureHooks(const MaterialTextureHooks* hooks) {
    materialModule.textures = hooks ? *hooks : MaterialTextureHooks{nullptr, nullptr, nullptr, nullptr};
}
