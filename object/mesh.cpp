#include "object/mesh.h"

#include <cstring>

#include "object/object_model.h"
#include "system/memory.h"

static const char* const kModule = "vor3d_object_1_11";

// The renderer's part in destroying a mesh; installed at its start-up.
static struct MeshModule {
    void (*release)(Mesh* mesh) = nullptr;
} meshModule;

// Counts outside their ranges are brought into them, so the byte sizes below stay meaningful.
static void clampCounts(Mesh* mesh) {
    if (mesh->vertexCount < 0) mesh->vertexCount = 0;
    if (mesh->indexCount < 0) mesh->indexCount = 0;
    if (mesh->texCoordSets > MESH_TEXCOORD_SETS) mesh->texCoordSets = MESH_TEXCOORD_SETS;
}

void meshInitBuffers(Mesh* mesh) {
    mesh->pass = PASS_OPAQUE;
    mesh->positions = nullptr;
    mesh->normals = nullptr;
    for (float*& set : mesh->texCoords) set = nullptr;
    mesh->colours = nullptr;
    mesh->indices = nullptr;
    clampCounts(mesh);
    int64_t n = mesh->vertexCount;
    if (mesh->hasPositions == 1) mesh->positions = (float*)MEM_ALLOC(nullptr, n * 12);
    if (mesh->hasNormals == 1) mesh->normals = (float*)MEM_ALLOC(nullptr, n * 12);
    for (int32_t s = 0; s < mesh->texCoordSets; s++) mesh->texCoords[s] = (float*)MEM_ALLOC(nullptr, n * 8);
    if (mesh->hasColours == 1) mesh->colours = (uint8_t*)MEM_ALLOC(nullptr, n * 4);
    mesh->indices = (int32_t*)MEM_ALLOC(nullptr, (int64_t)mesh->indexCount * 4);
    mesh->bufferMode = BUFFER_NONE;
}

void meshFreeBuffers(Mesh* mesh) {
    mesh->positions = (float*)MEM_FREE(mesh->positions);
    mesh->normals = (float*)MEM_FREE(mesh->normals);
    for (float*& set : mesh->texCoords) set = (float*)MEM_FREE(set);
    mesh->colours = (uint8_t*)MEM_FREE(mesh->colours);
    mesh->indices = (int32_t*)MEM_FREE(mesh->indices);
}

// Copies bytes from a template array; a missing source leaves zeros rather than garbage.
static void copyArray(void* dst, const void* src, int64_t bytes) {
    if (dst == nullptr || bytes <= 0) return;
    if (src)
        std::memcpy(dst, src, (size_t)bytes);
    else
        std::memset(dst, 0, (size_t)bytes);
}

// A new entry at index (-1 = first free slot) holding the template's record, without GL storage or
// arrays of its own yet; -1 when the index cannot be taken.
static int32_t newEntry(int32_t index, const Mesh* source) {
    meshDestroy(index);
    int32_t slot = slotAdd(&meshTable, 1, index);
    if (slot < 0) return -1;
    Mesh* mesh = meshGet(slot);
    std::memcpy(mesh, source, sizeof *mesh);
    mesh->interleaved = nullptr;
    // A new entry has no GL storage whatever the template says.
    mesh->vertexBuffer = 0;
    mesh->indexBuffer = 0;
    return slot;
}

int32_t meshCreate(int32_t index, const Mesh* source) {
    int32_t slot = newEntry(index, source);
    if (slot < 0) return -1;
    Mesh* mesh = meshGet(slot);
    meshInitBuffers(mesh);
    int64_t n = mesh->vertexCount;
    if (mesh->hasPositions == 1) copyArray(mesh->positions, source->positions, n * 12);
    if (mesh->hasNormals == 1) copyArray(mesh->normals, source->normals, n * 12);
    for (int32_t s = 0; s < mesh->texCoordSets; s++) copyArray(mesh->texCoords[s], source->texCoords[s], n * 8);
    if (mesh->hasColours == 1) copyArray(mesh->colours, source->colours, n * 4);
    copyArray(mesh->indices, source->indices, (int64_t)mesh->indexCount * 4);
    return slot;
}

int32_t meshAdopt(int32_t index, Mesh* source) {
    int32_t slot = newEntry(index, source);
    if (slot < 0) return -1;
    // The arrays now belong to the entry; the template keeps none.
    source->positions = source->normals = nullptr;
    for (float*& set : source->texCoords) set = nullptr;
    source->colours = nullptr;
    source->indices = nullptr;
    return slot;
}

int32_t meshDestroy(int32_t index) {
    Mesh* mesh = meshGet(index);
    if (mesh == nullptr) return -1;
    // Reading the store back into arrays that are freed next would only cost time and memory.
    if (meshModule.release) meshModule.release(mesh);
    mesh->interleaved = MEM_FREE(mesh->interleaved);
    materialReleaseTextures(&mesh->material);
    meshFreeBuffers(mesh);
    slotRelease(&meshTable, index);
    return -1;
}

void meshSetReleaseHook(void (*release)(Mesh* mesh)) { meshModule.release = release; }

Mesh* meshGet(int32_t index) { return slotGet<Mesh>(&meshTable, index); }

bool meshHasPoints(const Mesh* mesh) {
    return mesh->hasPositions == 1 && mesh->positions != nullptr && mesh->vertexCount > 0;
}

void meshBounds(const Mesh* mesh, BoxCorners* corners, Vec3* centre, float* radius) {
    if (!meshHasPoints(mesh)) {
        corners_reset(corners, centre, radius);
        return;
    }
    Vec3 lo, hi;
    box_of_points(&lo, &hi, (const Vec3*)mesh->positions, mesh->vertexCount);
    box_corners(lo, hi, corners);
    sphere_of_corners(corners, centre, radius);
}
