#include "render/mesh_draw.h"

#include <cstring>

#include "object/mesh.h"
#include "object/object.h"
#include "render/gl.h"
#include "render/render_state.h"
#include "render/view.h"
#include "system/memory.h"

static const char* const kModule = "vor3d_render_1_11";

namespace {
// The texture manager's bind; installed at its start-up.
struct MeshDraw {
    void (*bindTexture)(int32_t set, int32_t id) = nullptr;
};
MeshDraw meshDraw;

bool present(uint8_t flag) { return flag == 1; }

int32_t texSets(const Mesh* mesh) {
    return mesh->texCoordSets < MESH_TEXCOORD_SETS ? mesh->texCoordSets : MESH_TEXCOORD_SETS;
}

// Offsets of the attributes that are present, packed in the fixed order.
void computeLayout(Mesh* mesh) {
    int32_t offset = 0;
    mesh->positionOffset = 0;
    if (present(mesh->hasPositions)) offset += 12;
    mesh->normalOffset = offset;
    if (present(mesh->hasNormals)) offset += 12;
    mesh->texCoordOffset = offset;
    offset += 8 * texSets(mesh);
    mesh->colourOffset = offset;
    if (present(mesh->hasColours)) offset += 4;
    mesh->stride = offset;
}

int64_t vertexBytes(const Mesh* mesh) { return (int64_t)(mesh->vertexCount > 0 ? mesh->vertexCount : 0) * mesh->stride; }
int64_t indexBytes(const Mesh* mesh) { return (int64_t)(mesh->indexCount > 0 ? mesh->indexCount : 0) * 4; }

// One attribute of one vertex: copied from the array, or zeros when the array is missing.
void put(uint8_t* dst, const void* src, int32_t bytes) {
    if (src)
        std::memcpy(dst, src, (size_t)bytes);
    else
        std::memset(dst, 0, (size_t)bytes);
}

void interleave(const Mesh* mesh, uint8_t* dst) {
    int32_t sets = texSets(mesh);
    for (int32_t i = 0; i < mesh->vertexCount; i++) {
        uint8_t* v = dst + (int64_t)i * mesh->stride;
        if (present(mesh->hasPositions))
            put(v + mesh->positionOffset, mesh->positions ? mesh->positions + 3 * (int64_t)i : nullptr, 12);
        if (present(mesh->hasNormals))
            put(v + mesh->normalOffset, mesh->normals ? mesh->normals + 3 * (int64_t)i : nullptr, 12);
        for (int32_t s = 0; s < sets; s++)
            put(v + mesh->texCoordOffset + 8 * s, mesh->texCoords[s] ? mesh->texCoords[s] + 2 * (int64_t)i : nullptr, 8);
        if (present(mesh->hasColours))
            put(v + mesh->colourOffset, mesh->colours ? mesh->colours + 4 * (int64_t)i : nullptr, 4);
    }
}

void deinterleave(Mesh* mesh, const uint8_t* src) {
    int32_t sets = texSets(mesh);
    for (int32_t i = 0; i < mesh->vertexCount; i++) {
        const uint8_t* v = src + (int64_t)i * mesh->stride;
        if (mesh->positions) std::memcpy(mesh->positions + 3 * (int64_t)i, v + mesh->positionOffset, 12);
        if (mesh->normals) std::memcpy(mesh->normals + 3 * (int64_t)i, v + mesh->normalOffset, 12);
        for (int32_t s = 0; s < sets; s++)
            if (mesh->texCoords[s]) std::memcpy(mesh->texCoords[s] + 2 * (int64_t)i, v + mesh->texCoordOffset + 8 * s, 8);
        if (mesh->colours) std::memcpy(mesh->colours + 4 * (int64_t)i, v + mesh->colourOffset, 4);
    }
}

void clampIndices(Mesh* mesh) {
    if (mesh->indices == nullptr) return;
    for (int32_t k = 0; k < mesh->indexCount; k++)
        if (mesh->indices[k] < 0 || mesh->indices[k] >= mesh->vertexCount) mesh->indices[k] = 0;
}

void deleteBufferObjects(Mesh* mesh) {
    GLuint names[2] = {mesh->vertexBuffer, mesh->indexBuffer};
    extensions.glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    extensions.glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    if (names[0] || names[1]) extensions.glDeleteBuffersARB(2, names);
    mesh->vertexBuffer = 0;
    mesh->indexBuffer = 0;
}

// Fills one buffer object through a write-only map: the interleaved vertices of the mesh, or its
// indices. False when the map or the unmap fails (the unmap reports a store lost while mapped).
bool fillBuffer(GLenum target, GLuint name, int64_t bytes, const Mesh* mesh) {
    ExtensionFlags& x = extensions;
    x.glBindBufferARB(target, name);
    x.glBufferDataARB(target, (GLsizeiptrARB)bytes, nullptr, GL_STATIC_DRAW_ARB);
    void* p = bytes > 0 ? x.glMapBufferARB(target, GL_WRITE_ONLY_ARB) : nullptr;
    bool ok = p != nullptr || bytes == 0;
    if (p) {
        if (target == GL_ARRAY_BUFFER_ARB)
            interleave(mesh, (uint8_t*)p);
        else if (mesh->indices)
            std::memcpy(p, mesh->indices, (size_t)bytes);
        else
            std::memset(p, 0, (size_t)bytes);
        ok = x.glUnmapBufferARB(target) == GL_TRUE;
    }
    x.glBindBufferARB(target, 0);
    return ok;
}

bool buildBufferObjects(Mesh* mesh) {
    ExtensionFlags& x = extensions;
    x.glGenBuffersARB(1, &mesh->vertexBuffer);
    x.glGenBuffersARB(1, &mesh->indexBuffer);
    bool ok = fillBuffer(GL_ARRAY_BUFFER_ARB, mesh->vertexBuffer, vertexBytes(mesh), mesh) &&
              fillBuffer(GL_ELEMENT_ARRAY_BUFFER_ARB, mesh->indexBuffer, indexBytes(mesh), mesh);
    if (!ok) {
        deleteBufferObjects(mesh);
        return false;
    }
    mesh->bufferMode = BUFFER_VBO;
    mesh->indices = (int32_t*)MEM_FREE(mesh->indices);
    return true;
}

void freeSeparateVertexArrays(Mesh* mesh) {
    mesh->positions = (float*)MEM_FREE(mesh->positions);
    mesh->normals = (float*)MEM_FREE(mesh->normals);
    for (float*& set : mesh->texCoords) set = (float*)MEM_FREE(set);
    mesh->colours = (uint8_t*)MEM_FREE(mesh->colours);
}

// Maps a buffer object for reading; null when it cannot be mapped (the binding is then undone).
const void* mapForReading(GLenum target, GLuint name) {
    extensions.glBindBufferARB(target, name);
    const void* p = name ? extensions.glMapBufferARB(target, GL_READ_ONLY_ARB) : nullptr;
    if (p == nullptr) extensions.glBindBufferARB(target, 0);
    return p;
}

void unmapAfterReading(GLenum target) {
    extensions.glUnmapBufferARB(target);
    extensions.glBindBufferARB(target, 0);
}

void zeroSeparateArrays(Mesh* mesh, int64_t n) {
    if (mesh->positions) std::memset(mesh->positions, 0, (size_t)(n * 12));
    if (mesh->normals) std::memset(mesh->normals, 0, (size_t)(n * 12));
    for (float* set : mesh->texCoords)
        if (set) std::memset(set, 0, (size_t)(n * 8));
    if (mesh->colours) std::memset(mesh->colours, 0, (size_t)(n * 4));
}

// Client-memory or buffer-offset address of an attribute.
const void* attribute(const Mesh* mesh, int32_t offset) {
    if (mesh->bufferMode == BUFFER_VBO) return (const void*)(uintptr_t)offset;
    return (const uint8_t*)mesh->interleaved + offset;
}

void selectClientUnit(int32_t unit) {
    if (extensions.flag[EXT_MULTITEXTURE] && extensions.glClientActiveTextureARB)
        extensions.glClientActiveTextureARB(GL_TEXTURE0_ARB + unit);
}

void vertexArrayOn(const Mesh* mesh) {
    if (mesh->bufferMode == BUFFER_VBO) extensions.glBindBufferARB(GL_ARRAY_BUFFER_ARB, mesh->vertexBuffer);
    glVertexPointer(3, GL_FLOAT, mesh->stride, attribute(mesh, mesh->positionOffset));
    glEnableClientState(GL_VERTEX_ARRAY);
}

void vertexArrayOff(const Mesh* mesh) {
    if (mesh->bufferMode == BUFFER_VBO) extensions.glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void normalArrayOn(const Mesh* mesh) {
    glNormalPointer(GL_FLOAT, mesh->stride, attribute(mesh, mesh->normalOffset));
    glEnableClientState(GL_NORMAL_ARRAY);
}

void texCoordArrayOn(const Mesh* mesh, int32_t unit) {
    selectClientUnit(unit);
    glTexCoordPointer(2, GL_FLOAT, mesh->stride, attribute(mesh, mesh->texCoordOffset + 8 * unit));
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    selectClientUnit(0);
}

void texCoordArrayOff(int32_t unit) {
    selectClientUnit(unit);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    selectClientUnit(0);
}

void drawTriangles(const Mesh* mesh) {
    if (mesh->bufferMode == BUFFER_VBO) {
        extensions.glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, mesh->indexBuffer);
        glDrawElements(GL_TRIANGLES, mesh->indexCount, GL_UNSIGNED_INT, nullptr);
        extensions.glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    } else {
        glDrawElements(GL_TRIANGLES, mesh->indexCount, GL_UNSIGNED_INT, mesh->indices);
    }
}

bool drawable(const Mesh* mesh) {
    return present(mesh->hasPositions) && mesh->vertexCount > 0 && mesh->indexCount > 0;
}

}  // namespace

void mesh_build_buffers(Mesh* mesh) {
    computeLayout(mesh);
    clampIndices(mesh);
    mesh->interleaved = MEM_FREE(mesh->interleaved);
    if (!(extensions.flag[EXT_VERTEX_BUFFER_OBJECT] && buildBufferObjects(mesh))) {
        // Client memory: also where a failed buffer object falls back to, with nothing lost since
        // the separate arrays are still here.
        mesh->bufferMode = BUFFER_ARRAY;
        mesh->interleaved = MEM_ALLOC(nullptr, vertexBytes(mesh));
        if (mesh->interleaved) interleave(mesh, (uint8_t*)mesh->interleaved);
    }
    freeSeparateVertexArrays(mesh);
}

void mesh_release_buffers(Mesh* mesh) {
    if (mesh->bufferMode == BUFFER_NONE) return;
    int64_t n = mesh->vertexCount > 0 ? mesh->vertexCount : 0;
    if (present(mesh->hasPositions)) mesh->positions = (float*)MEM_ALLOC(mesh->positions, n * 12);
    if (present(mesh->hasNormals)) mesh->normals = (float*)MEM_ALLOC(mesh->normals, n * 12);
    for (int32_t s = 0; s < texSets(mesh); s++) mesh->texCoords[s] = (float*)MEM_ALLOC(mesh->texCoords[s], n * 8);
    if (present(mesh->hasColours)) mesh->colours = (uint8_t*)MEM_ALLOC(mesh->colours, n * 4);
    if (mesh->bufferMode == BUFFER_VBO) {
        mesh->indices = (int32_t*)MEM_ALLOC(mesh->indices, indexBytes(mesh));
        // A store that cannot be read back gives zeros rather than garbage; the mesh is on its way
        // to deletion when this runs.
        if (const void* p = n > 0 ? mapForReading(GL_ARRAY_BUFFER_ARB, mesh->vertexBuffer) : nullptr) {
            deinterleave(mesh, (const uint8_t*)p);
            unmapAfterReading(GL_ARRAY_BUFFER_ARB);
        } else {
            zeroSeparateArrays(mesh, n);
        }
        const void* p = mesh->indices ? mapForReading(GL_ELEMENT_ARRAY_BUFFER_ARB, mesh->indexBuffer) : nullptr;
        if (p) {
            std::memcpy(mesh->indices, p, (size_t)indexBytes(mesh));
            unmapAfterReading(GL_ELEMENT_ARRAY_BUFFER_ARB);
        } else if (mesh->indices) {
            std::memset(mesh->indices, 0, (size_t)indexBytes(mesh));
        }
        deleteBufferObjects(mesh);
    } else {
        if (mesh->interleaved)
            deinterleave(mesh, (const uint8_t*)mesh->interleaved);
        else
            zeroSeparateArrays(mesh, n);
        mesh->interleaved = MEM_FREE(mesh->interleaved);
    }
    mesh->bufferMode = BUFFER_NONE;
}

void mesh_drop_buffers(Mesh* mesh) {
    if (mesh->bufferMode == BUFFER_NONE) return;
    if (mesh->bufferMode == BUFFER_VBO) deleteBufferObjects(mesh);
    mesh->interleaved = MEM_FREE(mesh->interleaved);
    mesh->bufferMode = BUFFER_NONE;
}

void render_material(const Mesh* mesh) {
    const Material* m = &mesh->material;
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, m->ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, m->diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, m->specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, m->shininess);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, m->emission);
    if (m->mode == MATERIAL_UNLIT) {
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_LIGHTING);
        glColor4f(m->diffuse[0], m->diffuse[1], m->diffuse[2], m->diffuse[3]);
    } else if (m->mode == MATERIAL_TEXTURED) {
        glEnable(GL_TEXTURE_2D);
        glEnable(GL_LIGHTING);
        if (meshDraw.bindTexture) meshDraw.bindTexture(m->textureSet, m->textureIds[0]);
    } else {
        glDisable(GL_TEXTURE_2D);
        glEnable(GL_LIGHTING);
    }
    if (m->blend != 0) {
        glDisable(GL_CULL_FACE);
        glAlphaFunc(GL_GREATER, 0.05f);
    } else {
        glEnable(GL_CULL_FACE);
        glAlphaFunc(GL_ALWAYS, 0.0f);
    }
}

void render_object(int32_t object, int32_t pass) {
    Object* o = objectGet(object);
    if (o == nullptr || (o->passes & pass) == 0) return;
    if (renderWireframe) glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    for (int32_t k = 0; k < o->meshes.capacity; k++) {
        const int32_t* entry = slotGet<int32_t>(&o->meshes, k);
        Mesh* mesh = entry ? meshGet(*entry) : nullptr;
        if (mesh == nullptr || (mesh->pass & pass) == 0 || !drawable(mesh)) continue;
        render_material(mesh);
        if (mesh->bufferMode == BUFFER_NONE) mesh_build_buffers(mesh);
        // Arrays that the mesh does not carry stay off: GL then uses the current normal and
        // texture coordinate instead of reading past the vertex.
        bool normals = mesh->material.mode != MATERIAL_UNLIT && present(mesh->hasNormals);
        bool texCoords = mesh->material.mode == MATERIAL_TEXTURED && texSets(mesh) > 0;
        vertexArrayOn(mesh);
        if (normals) normalArrayOn(mesh);
        if (texCoords) texCoordArrayOn(mesh, 0);
        drawTriangles(mesh);
        if (texCoords) texCoordArrayOff(0);
        if (normals) glDisableClientState(GL_NORMAL_ARRAY);
        vertexArrayOff(mesh);
    }
    // The other drawing (debug shapes, the interface) expects filled polygons.
    if (renderWireframe) glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

void render_set_texture_bind_hook(void (*bind)(int32_t set, int32_t id)) { meshDraw.bindTexture = bind; }
