// Views: a scene to draw and the node copy to look through, and the renderer's debug switches.
#pragma once
#include <cstdint>

#include "system/slot_table.h"

struct View {
    int32_t scene;       // Scene index, -1 when unset
    int32_t cameraNode;  // copy index within that scene, -1 when unset
    int32_t reserved[4];
};

// Debug overlays, all off after start-up and whenever the viewer sets up a scene.
enum { DEBUG_LIGHTS = 0, DEBUG_EMPTY_NODES, DEBUG_CAMERAS, DEBUG_SPHERES, DEBUG_BOXES, DEBUG_FLAG_COUNT };
extern uint8_t renderDebug[DEBUG_FLAG_COUNT];
// 1 = meshes drawn as their triangles' edges; off after start-up.
extern uint8_t renderWireframe;

extern SlotTable viewTable;

// Creates the empty view table and clears the debug switches and wireframe (renderer start-up).
void view_table_init();
// Frees the view table (renderer shut-down).
void view_table_free();
// A new view with scene and camera -1; when old is not -1 that view is released first and its slot reused.
int32_t view_create(int32_t old);
// Releases the view; always returns -1.
int32_t view_destroy(int32_t index);
// The record of a view in use, or null.
View* view_get(int32_t index);
