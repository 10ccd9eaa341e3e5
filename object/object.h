// Drawable objects: a list of meshes that the object owns, shared between nodes by reference count.
#pragma once
#include <cstdint>

#include "math/bounds.h"
#include "system/slot_table.h"

// One drawable object in objectTable.
struct Object {
    int32_t refCount;        // nodes that attach it
    int32_t passes;          // PASS_OPAQUE, plus PASS_TRANSPARENT when any mesh is transparent
    uint8_t texturesLoaded;  // 1 once its meshes' textures were requested
    SlotTable meshes;        // one int32 mesh index per slot
};

// Replaces whatever stood at index (-1 = first free slot) with an empty object: refCount 0,
// passes 1, textures not loaded. Returns the index, or -1 when the index cannot be taken.
int32_t objectCreate(int32_t index);
// Appends a mesh index to the object's list (nothing for an object not in use).
void objectAddMesh(int32_t object, int32_t mesh);
// Destroys the object's meshes, its list and its slot. Returns -1.
int32_t objectDestroy(int32_t index);
// Destroys every object that no node holds.
void objectCollect();
// The object record in use at index, or null.
Object* objectGet(int32_t index);
// Union of the meshes' bounds in object space; recomputes each mesh's pass and the object's pass
// mask. An object without mesh positions gets the point-sized box at the origin.
void objectBounds(int32_t object, BoxCorners* corners, Vec3* centre, float* radius);
