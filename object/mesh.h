// Triangle meshes: separate vertex arrays as a producer fills them, or one interleaved vertex store
// once the renderer has prepared the mesh for drawing. Meshes live in meshTable and are owned by
// exactly one object.
#pragma once
#include <cstdint>

#include "math/bounds.h"
#include "object/material.h"

// Draw-pass bits of a mesh and of an object's pass mask.
enum : int32_t { PASS_OPAQUE = 1, PASS_TRANSPARENT = 2 };
// Where a mesh's vertex data lives.
enum : uint8_t { BUFFER_NONE = 0, BUFFER_ARRAY = 1, BUFFER_VBO = 2 };
constexpr int32_t MESH_TEXCOORD_SETS = 32;

// One triangle list with its material. Copied by value: a producer fills a template on its stack
// and meshCreate turns it into a table entry with arrays of its own.
struct Mesh {
    int32_t pass;              // PASS_OPAQUE or PASS_TRANSPARENT
    Material material;
    int32_t vertexCount;       // elements of every array below
    uint8_t hasPositions;
    float* positions;          // x, y, z per vertex
    int32_t positionOffset;    // byte offsets in the interleaved vertex (set by the renderer)
    uint8_t hasNormals;
    float* normals;            // x, y, z per vertex
    int32_t normalOffset;
    uint8_t texCoordSets;      // 0 .. 32 sets in use
    float* texCoords[MESH_TEXCOORD_SETS];  // u, v per vertex, per set
    int32_t texCoordOffset;    // offset of set 0; set k follows at + 8k
    uint8_t hasColours;
    uint8_t* colours;          // R, G, B, A bytes per vertex
    int32_t colourOffset;
    int32_t indexCount;        // a multiple of 3
    int32_t* indices;          // three per triangle
    uint8_t bufferMode;        // BUFFER_NONE, BUFFER_ARRAY or BUFFER_VBO
    int32_t stride;            // bytes per interleaved vertex
    void* interleaved;         // client-memory vertex store (BUFFER_ARRAY)
    uint32_t vertexBuffer;     // GL buffer names (BUFFER_VBO), 0 when none
    uint32_t indexBuffer;
};

// pass = 1, every array pointer null, then fresh (uninitialised) arrays for the counts and flags;
// bufferMode = BUFFER_NONE.
void meshInitBuffers(Mesh* mesh);
// Frees the separate arrays (positions, normals, all 32 texture sets, colours, indices).
void meshFreeBuffers(Mesh* mesh);
// Replaces whatever stood at index (-1 = first free slot) with a copy of the template that owns
// copies of its arrays; the caller still owns and frees the template's arrays. Returns the index,
// or -1 when the index cannot be taken.
int32_t meshCreate(int32_t index, const Mesh* source);
// The same, but the entry takes the template's arrays instead of copying them (the template's array
// pointers become null). When the index cannot be taken the template keeps its arrays.
int32_t meshAdopt(int32_t index, Mesh* source);
// Gives back GL storage (through the release hook), releases the texture set, frees the arrays and
// the slot. Returns -1.
int32_t meshDestroy(int32_t index);
// The renderer's release of a mesh's vertex store (GL buffers, client memory), installed by the
// renderer's start-up since the object model sits below it. Without one, meshDestroy still frees the
// client-memory store; GL buffers exist only once the renderer has started.
void meshSetReleaseHook(void (*release)(Mesh* mesh));
// The mesh record in use at index, or null.
Mesh* meshGet(int32_t index);
// Box corners, bounding-sphere centre and radius of the positions, in the mesh's own space. A mesh
// without readable positions gives the point-sized box at the origin.
void meshBounds(const Mesh* mesh, BoxCorners* corners, Vec3* centre, float* radius);
// True when the mesh still holds a positions array with at least one vertex.
bool meshHasPoints(const Mesh* mesh);
