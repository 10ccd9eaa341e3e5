// The object model's tables, its start-up and shut-down, and the box primitive. The renderer reads
// the tables directly.
#pragma once
#include <cstdint>

#include "system/slot_table.h"

// One whole record per slot: Mesh, Object, Node, Light, Camera, Scene.
extern SlotTable meshTable;
extern SlotTable objectTable;
extern SlotTable nodeTable;
extern SlotTable lightTable;
extern SlotTable cameraTable;
extern SlotTable sceneTable;

// Empty tables, in the order mesh, object, light, camera, node, scene.
void objectModelInit();
// Frees the tables in the same order. Records still in use give back their client memory (arrays,
// lists, copies) without GL or texture calls: by then the GL objects and texture sets belong to
// subsystems that free them on their own.
void objectModelShutdown();
// A node holding a new object with one lit box mesh of the given size centred on the origin (24
// vertices with per-face normals, 36 indices), already bounded by a scene update. Returns the node.
int32_t boxObjectCreate(float width, float height, float depth);
