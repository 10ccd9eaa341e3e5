// The scene graph: nodes with a local transform (translation-rotation-scale or a look-at frame), a
// world matrix, an attachment (object, light or camera, held by reference count) and children;
// the light and camera records; the scene update that collects, bounds and textures a tree.
//
// Record operations (setters, getters, nodeAxes, nodeComposeLocal) take a Node record, so they work
// on nodeTable entries and on scene copies alike.
#pragma once
#include <cstdint>

#include "math/bounds.h"
#include "math/mat4.h"
#include "math/quat.h"
#include "system/slot_table.h"

// What a node carries.
enum : uint8_t { NODE_OBJECT = 0, NODE_LIGHT = 1, NODE_EMPTY = 2, NODE_CAMERA = 3 };
// How the local transform is given.
enum : uint8_t { MODE_TRS = 0, MODE_LOOK_AT = 1, MODE_MATRIX = 2 };

// One node of a tree; also one copy inside a scene. Every field before `parent` is what a scene
// copy duplicates.
struct Node {
    Vec3 scale;
    Quat rotation;
    Vec3 position;        // translation; the eye in look-at mode
    Vec3 target;          // look-at target
    Vec3 up;              // look-at up vector
    Mat4 local;           // the local transform in MODE_MATRIX
    Mat4 matrix;          // world matrix
    uint8_t transformMode;  // MODE_TRS, MODE_LOOK_AT or MODE_MATRIX
    uint8_t dirty;        // local transform changed since the last matrix update
    uint8_t kind;         // NODE_OBJECT, NODE_LIGHT, NODE_EMPTY or NODE_CAMERA
    int32_t attachment;   // object, light or camera index; -1 for an empty node
    BoxCorners corners;   // attached object's bounds, object space
    Vec3 centre;          // attached object's bounding sphere
    float radius;
    int32_t parent;       // -1 for a root
    SlotTable children;   // one int32 node index per slot
};

// A light; the renderer makes it directional, shining from its node's position towards the origin.
struct Light {
    int32_t refCount;
    uint8_t type;         // reserved, 0
    float colour[4];      // ambient, diffuse and specular of the GL light
};

// A perspective camera; view and orientation are written by the renderer every frame.
struct Camera {
    int32_t refCount;
    float fov;            // vertical, degrees
    float nearPlane;
    float farPlane;
    float aspectWidth;
    float aspectHeight;
    Mat4 view;            // world to camera
    Mat4 orientation;     // the camera node's world matrix without translation
};

// ---- Nodes, lights, cameras -------------------------------------------------------------------

// Replaces whatever stood at index (-1 = first free slot) with a clean node of that kind, taking a
// reference on the attachment. Returns the index, or -1 when the index cannot be taken.
int32_t nodeCreate(int32_t index, uint8_t kind, int32_t attachment);
// Drops the attachment's reference (destroying it at zero) and frees the slot, for the node and
// then its whole subtree (a walk). Does not unlink the node from its parent. Returns -1.
int32_t nodeDestroy(int32_t index);
// nodeDestroy(index), then a new empty node at the first free slot; returns it.
int32_t emptyCreate(int32_t index);
// nodeDestroy(index); a copy of the record at the first free light / camera slot with refCount 0;
// then a new node at the first free node slot that attaches it (refCount 1). Returns the node.
int32_t lightCreate(int32_t index, const Light* light);
int32_t cameraCreate(int32_t index, const Camera* camera);
// Release a light / camera slot in use. Return -1.
int32_t lightDestroy(int32_t index);
int32_t cameraDestroy(int32_t index);
// Release every light / camera that no node holds.
void lightCollect();
void cameraCollect();
// fov 50, near 0.01, far 1400, aspect 4 : 3; nothing else is touched.
void cameraInit(Camera* camera);
// Records in use at an index, or null.
Node* nodeGet(int32_t index);
Light* lightGet(int32_t index);
Camera* cameraGet(int32_t index);
// child.parent = parent and, when parent is a node, appended to its children. The old parent keeps
// the child in its list. A node cannot become its own parent (nothing happens).
void nodeSetParent(int32_t parent, int32_t child);

// ---- Record operations --------------------------------------------------------------------------

// Each setter marks the node dirty.
void nodeSetScale(Node* node, float x, float y, float z);
void nodeSetPosition(Node* node, float x, float y, float z);
// rotation = q(angle, axis) * rotation, normalised. The axis is not normalised first, so its
// length changes the angle turned.
void nodeRotate(Node* node, float degrees, float x, float y, float z);
void nodeSetLookAt(Node* node, float eyeX, float eyeY, float eyeZ, float targetX, float targetY,
                   float targetZ, float upX, float upY, float upZ);
// Gives the node a general local transform (MODE_MATRIX); the TRS setters no longer act on it.
void nodeSetMatrix(Node* node, const Mat4* local);
void nodeGetScale(const Node* node, float* x, float* y, float* z);
void nodeGetPosition(const Node* node, float* x, float* y, float* z);
// The node's local X, Y and Z axes: the columns of its rotation matrix.
void nodeAxes(const Node* node, Vec3 out[3]);
// matrix (holding the parent's world matrix) = matrix * local transform; dirty = 0.
void nodeComposeLocal(Node* node);

// ---- Tree walks ---------------------------------------------------------------------------------
//
// Every pass over a subtree (matrices, bounds, textures, destruction, scene copies and their
// removal and bounds, the importer's transforms, tool listings) is a NodeWalk: pre-order, a node
// before its children, children in list order, each child's subtree before the next child. The
// pending steps live on a heap stack, so a tree of any depth costs no machine stack.
//
// The links need not form a tree: nodeSetParent leaves a child in its old parent's list, so a node
// can be listed under two parents, or under its own descendant (a cycle). A walk therefore marks
// what it visits (one bit per slot of the table) and visits each node at most once: a node listed
// twice is visited at its first place in pre-order only, and a cycle ends where it comes back to a
// visited node. For a tree this changes nothing; any other shape costs at most one visit per slot.

// One visit: the node, its depth below the walk's root (0 for a root) and the value its parent's
// visit handed down with nodeWalkChildren.
struct NodeWalkStep {
    int32_t node;
    int32_t depth;
    int32_t tag;
};

// A walk in progress over one table of nodes (nodeTable or a scene's copies).
struct NodeWalk {
    const SlotTable* table;
    NodeWalkStep* stack;  // pending steps; the last one comes next
    int32_t count;
    int32_t capacity;
    uint8_t* seen;        // one bit per slot; allocated at the first visit
    int32_t seenBytes;
};

// Starts an empty walk over table.
void nodeWalkBegin(NodeWalk* walk, const SlotTable* table);
// Adds a pending step. The last pushed comes out first: push several roots in reverse order.
void nodeWalkPush(NodeWalk* walk, int32_t node, int32_t depth, int32_t tag);
// The next node in use that the walk has not visited yet, marked as visited; false at the end.
bool nodeWalkNext(NodeWalk* walk, NodeWalkStep* step);
// Makes the node's children (the node of `step`; read from `node`, which may already be released)
// the next steps, in list order, one level deeper, each carrying tag.
void nodeWalkChildren(NodeWalk* walk, const Node* node, const NodeWalkStep* step, int32_t tag);
// Frees the walk's memory; it can end before its last step.
void nodeWalkEnd(NodeWalk* walk);

// ---- Tree passes ----------------------------------------------------------------------------------

// World matrices of the subtree at index within a table of nodes (nodeTable or a scene's copies):
// a dirty node, or any node when force is set, recomposes from its parent's matrix and forces its
// descendants.
void nodeTreeUpdateMatrices(SlotTable* table, int32_t index, bool force);
// nodeTreeUpdateMatrices, unforced, of every top-level node (parent -1) of the table in slot
// order, as one walk.
void nodeTableUpdateMatrices(SlotTable* table);
// nodeTreeUpdateMatrices over nodeTable.
void nodeUpdateMatrices(int32_t index, bool force);
// Object bounds (and pass masks) of every object node in the subtree.
void nodeUpdateBounds(int32_t index);
// Loads the texture sets of every object in the subtree whose textures were not yet requested.
void nodeLoadTextures(int32_t index, const char* textureDirectory);
// objectCollect, lightCollect, cameraCollect, nodeUpdateBounds, nodeLoadTextures.
void sceneUpdate(int32_t root, const char* textureDirectory);
