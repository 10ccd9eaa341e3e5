// Scenes: tables of node copies that the renderer draws. A copy duplicates a node's transform,
// kind, attachment and bounds; its parent and children are copies in the same scene. Copies take
// no reference on their attachments, so a tree's copies are removed before the tree is destroyed.
#pragma once
#include <cstdint>

#include "math/vec3.h"
#include "object/node.h"
#include "system/slot_table.h"

// One scene in sceneTable: one Node per slot of `copies`.
struct Scene {
    SlotTable copies;
};

// Replaces whatever stood at index (-1 = first free slot) with an empty scene; returns the index,
// or -1 when the index cannot be taken.
int32_t sceneCreate(int32_t index);
// Frees the scene's copies and its slot. Returns -1.
int32_t sceneDestroy(int32_t index);
// The scene record in use, or null.
Scene* sceneGet(int32_t index);
// A copy in use in a scene, or null.
Node* sceneCopy(int32_t scene, int32_t copy);
// Replaces the copy at copyIndex (-1 = first free) with a copy of the node's whole subtree.
// Returns the top copy, or -1 when the scene or the node is not in use (the old copy is gone).
int32_t sceneAddCopy(int32_t scene, int32_t copyIndex, int32_t node);
// Fills the copy in slot from the node, links it under parentCopy (-1 = top level) and copies the
// node's children, in their order, into new slots.
void sceneCopyNode(int32_t scene, int32_t slot, int32_t parentCopy, int32_t node);
// Removes the copy and its descendants. Does not unlink it from its parent copy. Returns -1.
int32_t sceneRemoveCopy(int32_t scene, int32_t copy);
// World matrices of the copy's subtree, as nodeUpdateMatrices.
void sceneUpdateCopy(int32_t scene, int32_t copy, bool force);
// Updates every top-level copy's subtree (unforced).
void sceneUpdateMatrices(int32_t scene);
// First copy in slot order of that kind, or -1; a non-zero `from` always gives -1.
int32_t sceneFindKind(int32_t scene, uint8_t kind, int32_t from);
// World-space box of the object copies in the subtree at copy (matrices brought up to date first);
// (+FAR_VALUE, -FAR_VALUE) on every axis when the subtree holds no object.
void sceneBounds(int32_t scene, int32_t copy, Vec3* min, Vec3* max);
// The record operations of node.h applied to a copy; nothing happens for a copy not in use (the
// getters then leave their outputs untouched).
void sceneSetScale(int32_t scene, int32_t copy, float x, float y, float z);
void sceneGetScale(int32_t scene, int32_t copy, float* x, float* y, float* z);
void sceneRotate(int32_t scene, int32_t copy, float degrees, float x, float y, float z);
void sceneSetPosition(int32_t scene, int32_t copy, float x, float y, float z);
void sceneGetPosition(int32_t scene, int32_t copy, float* x, float* y, float* z);
void sceneSetLookAt(int32_t scene, int32_t copy, Vec3 eye, Vec3 target, Vec3 up);
void sceneAxes(int32_t scene, int32_t copy, Vec3 out[3]);
