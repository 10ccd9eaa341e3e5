#include "object/node.h"

#include <cstring>

#include "object/mesh.h"
#include "object/object.h"
#include "object/object_model.h"
#include "system/memory.h"

static const char* const kModule = "vor3d_object_1_11";

// ---- Nodes, lights, cameras -------------------------------------------------------------------

Node* nodeGet(int32_t index) { return slotGet<Node>(&nodeTable, index); }
Light* lightGet(int32_t index) { return slotGet<Light>(&lightTable, index); }
Camera* cameraGet(int32_t index) { return slotGet<Camera>(&cameraTable, index); }

int32_t nodeCreate(int32_t index, uint8_t kind, int32_t attachment) {
    nodeDestroy(index);
    int32_t slot = slotAdd(&nodeTable, 1, index);
    if (slot < 0) return -1;
    Node* node = nodeGet(slot);
    slotInit(&node->children, 4, 4);
    vec3_set(&node->scale, 1.0f, 1.0f, 1.0f);
    quat_identity(&node->rotation);
    vec3_set(&node->position, 0.0f, 0.0f, 0.0f);
    // Fields that only later steps give meaning still start defined: target and up for a look-at
    // that has not been set, and a point-sized box until the scene update bounds the object.
    vec3_set(&node->target, 0.0f, 0.0f, 0.0f);
    vec3_set(&node->up, 0.0f, 0.0f, 1.0f);
    mat4_identity(&node->matrix);
    mat4_identity(&node->local);
    node->transformMode = MODE_TRS;
    node->dirty = 0;
    node->kind = kind;
    node->attachment = attachment;
    corners_reset(&node->corners, &node->centre, &node->radius);
    node->parent = -1;
    if (kind == NODE_OBJECT) {
        if (Object* o = objectGet(attachment)) o->refCount++;
    } else if (kind == NODE_LIGHT) {
        if (Light* l = lightGet(attachment)) l->refCount++;
    } else if (kind == NODE_CAMERA) {
        if (Camera* c = cameraGet(attachment)) c->refCount++;
    }
    return slot;
}

static void dropAttachment(uint8_t kind, int32_t attachment) {
    if (kind == NODE_OBJECT) {
        Object* o = objectGet(attachment);
        if (o && --o->refCount <= 0) objectDestroy(attachment);
    } else if (kind == NODE_LIGHT) {
        Light* l = lightGet(attachment);
        if (l && --l->refCount <= 0) lightDestroy(attachment);
    } else if (kind == NODE_CAMERA) {
        Camera* c = cameraGet(attachment);
        if (c && --c->refCount <= 0) cameraDestroy(attachment);
    }
}

int32_t nodeDestroy(int32_t index) {
    if (nodeGet(index) == nullptr) return -1;
    NodeWalk walk;
    nodeWalkBegin(&walk, &nodeTable);
    nodeWalkPush(&walk, index, 0, 0);
    NodeWalkStep step;
    while (nodeWalkNext(&walk, &step)) {
        Node* node = nodeGet(step.node);
        dropAttachment(node->kind, node->attachment);
        nodeWalkChildren(&walk, node, &step, 0);
        // A released slot keeps its buffer, so the record stays valid until its list is freed.
        slotRelease(&nodeTable, step.node);
        slotFree(&node->children);
    }
    nodeWalkEnd(&walk);
    return -1;
}

int32_t emptyCreate(int32_t index) {
    nodeDestroy(index);
    return nodeCreate(-1, NODE_EMPTY, -1);
}

int32_t lightCreate(int32_t index, const Light* light) {
    nodeDestroy(index);
    int32_t slot = slotAdd(&lightTable, 1, -1);
    Light* l = lightGet(slot);
    *l = *light;
    l->refCount = 0;
    return nodeCreate(-1, NODE_LIGHT, slot);
}

int32_t cameraCreate(int32_t index, const Camera* camera) {
    nodeDestroy(index);
    int32_t slot = slotAdd(&cameraTable, 1, -1);
    Camera* c = cameraGet(slot);
    *c = *camera;
    c->refCount = 0;
    return nodeCreate(-1, NODE_CAMERA, slot);
}

int32_t lightDestroy(int32_t index) {
    if (lightGet(index)) slotRelease(&lightTable, index);
    return -1;
}

int32_t cameraDestroy(int32_t index) {
    if (cameraGet(index)) slotRelease(&cameraTable, index);
    return -1;
}

void lightCollect() {
    for (int32_t i = 0; i < lightTable.capacity; i++) {
        Light* l = lightGet(i);
        if (l && l->refCount == 0) lightDestroy(i);
    }
}

void cameraCollect() {
    for (int32_t i = 0; i < cameraTable.capacity; i++) {
        Camera* c = cameraGet(i);
        if (c && c->refCount == 0) cameraDestroy(i);
    }
}

void cameraInit(Camera* camera) {
    camera->fov = 50.0f;
    camera->nearPlane = 0.01f;
    camera->farPlane = 1400.0f;
    camera->aspectWidth = 4.0f;
    camera->aspectHeight = 3.0f;
}

void nodeSetParent(int32_t parent, int32_t child) {
    Node* c = nodeGet(child);
    if (c == nullptr || parent == child) return;
    c->parent = parent;
    Node* p = nodeGet(parent);
    if (p == nullptr) return;
    int32_t slot = slotAdd(&p->children, 1, -1);
    *slotGet<int32_t>(&p->children, slot) = child;
}

// ---- Record operations --------------------------------------------------------------------------

void nodeSetScale(Node* node, float x, float y, float z) {
    vec3_set(&node->scale, x, y, z);
    node->transformMode = MODE_TRS;
    node->dirty = 1;
}

void nodeSetPosition(Node* node, float x, float y, float z) {
    vec3_set(&node->position, x, y, z);
    node->transformMode = MODE_TRS;
    node->dirty = 1;
}

void nodeRotate(Node* node, float degrees, float x, float y, float z) {
    Quat q;
    quat_from_axis_angle(&q, x, y, z, degrees);
    quat_mul(&node->rotation, &q, &node->rotation);
    quat_normalize(&node->rotation);
    node->transformMode = MODE_TRS;
    node->dirty = 1;
}

void nodeSetLookAt(Node* node, float eyeX, float eyeY, float eyeZ, float targetX, float targetY,
                   float targetZ, float upX, float upY, float upZ) {
    vec3_set(&node->position, eyeX, eyeY, eyeZ);
    vec3_set(&node->target, targetX, targetY, targetZ);
    vec3_set(&node->up, upX, upY, upZ);
    node->transformMode = MODE_LOOK_AT;
    node->dirty = 1;
}

void nodeGetScale(const Node* node, float* x, float* y, float* z) {
    *x = node->scale.x;
    *y = node->scale.y;
    *z = node->scale.z;
}

void nodeGetPosition(const Node* node, float* x, float* y, float* z) {
    *x = node->position.x;
    *y = node->position.y;
    *z = node->position.z;
}

void nodeAxes(const Node* node, Vec3 out[3]) {
    Mat4 r;
    quat_to_mat4(&r, &node->rotation);
    for (int a = 0; a < 3; a++) vec3_set(&out[a], r.m[4 * a], r.m[4 * a + 1], r.m[4 * a + 2]);
}

void nodeSetMatrix(Node* node, const Mat4* local) {
    node->local = *local;
    node->transformMode = MODE_MATRIX;
    node->dirty = 1;
}

void nodeComposeLocal(Node* node) {
    Mat4 local;
    if (node->transformMode == MODE_LOOK_AT) {
        mat4_look_at(&local, node->position, node->target, node->up);
    } else if (node->transformMode == MODE_MATRIX) {
        local = node->local;
    } else {
        Mat4 rotation;
        mat4_identity(&local);
        mat4_translate(&local, node->position.x, node->position.y, node->position.z);
        quat_to_mat4(&rotation, &node->rotation);
        mat4_mul(&local, &local, &rotation);
        mat4_scale(&local, node->scale.x, node->scale.y, node->scale.z);
    }
    mat4_mul(&node->matrix, &node->matrix, &local);
    node->dirty = 0;
}

// ---- Tree walks ---------------------------------------------------------------------------------

void nodeWalkBegin(NodeWalk* walk, const SlotTable* table) {
    walk->table = table;
    walk->stack = nullptr;
    walk->count = 0;
    walk->capacity = 0;
    walk->seen = nullptr;
    walk->seenBytes = 0;
}

void nodeWalkPush(NodeWalk* walk, int32_t node, int32_t depth, int32_t tag) {
    if (walk->count == walk->capacity) {
        walk->capacity = walk->capacity * 2 + 16;
        walk->stack = (NodeWalkStep*)MEM_REALLOC(walk->stack, (int64_t)walk->capacity * sizeof(NodeWalkStep));
    }
    walk->stack[walk->count++] = NodeWalkStep{node, depth, tag};
}

// Marks a slot as visited; false when it already was.
static bool markVisited(NodeWalk* walk, int32_t node) {
    int32_t byte = node / 8;
    if (byte >= walk->seenBytes) {
        // Sized for the table at the first visit; grows only if the table grew during the walk.
        int32_t bytes = walk->table->capacity / 8 + 1;
        if (bytes <= byte) bytes = byte + 1;
        walk->seen = (uint8_t*)MEM_REALLOC(walk->seen, bytes);
        std::memset(walk->seen + walk->seenBytes, 0, (size_t)(bytes - walk->seenBytes));
        walk->seenBytes = bytes;
    }
    uint8_t bit = (uint8_t)(1u << (node % 8));
    if (walk->seen[byte] & bit) return false;
    walk->seen[byte] |= bit;
    return true;
}

bool nodeWalkNext(NodeWalk* walk, NodeWalkStep* step) {
    while (walk->count > 0) {
        *step = walk->stack[--walk->count];
        if (slotData(walk->table, step->node) != nullptr && markVisited(walk, step->node)) return true;
    }
    return false;
}

void nodeWalkChildren(NodeWalk* walk, const Node* node, const NodeWalkStep* step, int32_t tag) {
    for (int32_t k = node->children.capacity - 1; k >= 0; k--) {
        const int32_t* child = slotGet<int32_t>(&node->children, k);
        if (child) nodeWalkPush(walk, *child, step->depth + 1, tag);
    }
}

void nodeWalkEnd(NodeWalk* walk) {
    walk->stack = (NodeWalkStep*)MEM_FREE(walk->stack);
    walk->seen = (uint8_t*)MEM_FREE(walk->seen);
    walk->count = walk->capacity = walk->seenBytes = 0;
}

// ---- Tree passes ----------------------------------------------------------------------------------

// Runs the pushed steps of a matrix walk; a step's tag is its force flag.
static void updateMatrices(NodeWalk* walk) {
    NodeWalkStep step;
    while (nodeWalkNext(walk, &step)) {
        Node* node = slotGet<Node>(walk->table, step.node);
        int32_t force = step.tag;
        if (node->dirty || force) {
            const Node* parent = slotGet<Node>(walk->table, node->parent);
            if (parent)
                mat4_copy(&node->matrix, &parent->matrix);
            else
                mat4_identity(&node->matrix);
            nodeComposeLocal(node);
            force = 1;
        }
        nodeWalkChildren(walk, node, &step, force);
    }
    nodeWalkEnd(walk);
}

void nodeTreeUpdateMatrices(SlotTable* table, int32_t index, bool force) {
    NodeWalk walk;
    nodeWalkBegin(&walk, table);
    nodeWalkPush(&walk, index, 0, force ? 1 : 0);
    updateMatrices(&walk);
}

void nodeTableUpdateMatrices(SlotTable* table) {
    NodeWalk walk;
    nodeWalkBegin(&walk, table);
    for (int32_t i = table->capacity - 1; i >= 0; i--) {
        const Node* node = slotGet<Node>(table, i);
        if (node && node->parent == -1) nodeWalkPush(&walk, i, 0, 0);
    }
    updateMatrices(&walk);
}

void nodeUpdateMatrices(int32_t index, bool force) { nodeTreeUpdateMatrices(&nodeTable, index, force); }

void nodeUpdateBounds(int32_t index) {
    NodeWalk walk;
    nodeWalkBegin(&walk, &nodeTable);
    nodeWalkPush(&walk, index, 0, 0);
    NodeWalkStep step;
    while (nodeWalkNext(&walk, &step)) {
        Node* node = nodeGet(step.node);
        if (node->kind == NODE_OBJECT) objectBounds(node->attachment, &node->corners, &node->centre, &node->radius);
        nodeWalkChildren(&walk, node, &step, 0);
    }
    nodeWalkEnd(&walk);
}

static void loadObjectTextures(Object* object, const char* textureDirectory) {
    for (int32_t k = 0; k < object->meshes.capacity; k++) {
        int32_t* entry = slotGet<int32_t>(&object->meshes, k);
        Mesh* mesh = entry ? meshGet(*entry) : nullptr;
        if (mesh == nullptr || mesh->material.textureName[0] == '\0') continue;
        materialLoadTextures(mesh, textureDirectory);
    }
}

void nodeLoadTextures(int32_t index, const char* textureDirectory) {
    NodeWalk walk;
    nodeWalkBegin(&walk, &nodeTable);
    nodeWalkPush(&walk, index, 0, 0);
    NodeWalkStep step;
    while (nodeWalkNext(&walk, &step)) {
        const Node* node = nodeGet(step.node);
        if (node->kind == NODE_OBJECT) {
            Object* object = objectGet(node->attachment);
            if (object && object->texturesLoaded == 0) {
                object->texturesLoaded = 1;
                loadObjectTextures(object, textureDirectory ? textureDirectory : "");
            }
        }
        nodeWalkChildren(&walk, node, &step, 0);
    }
    nodeWalkEnd(&walk);
}

void sceneUpdate(int32_t root, const char* textureDirectory) {
    objectCollect();
    lightCollect();
    cameraCollect();
    nodeUpdateBounds(root);
    nodeLoadTextures(root, textureDirectory);
}
