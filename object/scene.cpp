#include "object/scene.h"

#include <cstddef>
#include <cstring>

#include "object/object_model.h"

int32_t sceneCreate(int32_t index) {
    sceneDestroy(index);
    int32_t slot = slotAdd(&sceneTable, 1, index);
    if (slot < 0) return -1;
    slotInit(&sceneGet(slot)->copies, 4, (int32_t)sizeof(Node));
    return slot;
}

int32_t sceneDestroy(int32_t index) {
    Scene* scene = sceneGet(index);
    if (scene == nullptr) return -1;
    // Each copy owns its child list; the copies' table alone would not free those.
    for (int32_t c = 0; c < scene->copies.capacity; c++) {
        Node* copy = slotGet<Node>(&scene->copies, c);
        if (copy) slotFree(&copy->children);
    }
    slotFree(&scene->copies);
    slotRelease(&sceneTable, index);
    return -1;
}

Scene* sceneGet(int32_t index) { return slotGet<Scene>(&sceneTable, index); }

Node* sceneCopy(int32_t scene, int32_t copy) {
    Scene* s = sceneGet(scene);
    return s ? slotGet<Node>(&s->copies, copy) : nullptr;
}

// A slot taken for a copy, with an empty child list; -1 when the scene cannot hold it.
static int32_t takeCopySlot(Scene* s, int32_t index) {
    int32_t slot = slotAdd(&s->copies, 1, index);
    if (slot >= 0) slotInit(&slotGet<Node>(&s->copies, slot)->children, 4, 4);
    return slot;
}

static void copyNode(int32_t scene, int32_t slot, int32_t parentCopy, int32_t node, int32_t depth) {
    Scene* s = sceneGet(scene);
    const Node* source = nodeGet(node);
    Node* copy = s ? slotGet<Node>(&s->copies, slot) : nullptr;
    if (source == nullptr || copy == nullptr) return;
    std::memcpy(copy, source, offsetof(Node, parent));
    copy->parent = parentCopy;
    if (Node* parent = slotGet<Node>(&s->copies, parentCopy)) {
        int32_t k = slotAdd(&parent->children, 1, -1);
        *slotGet<int32_t>(&parent->children, k) = slot;
    }
    if (depth + 1 >= NODE_DEPTH_LIMIT) return;
    for (int32_t k = 0; k < source->children.capacity; k++) {
        // Adding copies may grow the scene's table, so no record pointer is kept across an add.
        source = nodeGet(node);
        int32_t* child = slotGet<int32_t>(&source->children, k);
        if (child == nullptr || nodeGet(*child) == nullptr) continue;
        int32_t childNode = *child;
        int32_t childSlot = takeCopySlot(sceneGet(scene), -1);
        if (childSlot < 0) return;
        copyNode(scene, childSlot, slot, childNode, depth + 1);
    }
}

void sceneCopyNode(int32_t scene, int32_t slot, int32_t parentCopy, int32_t node) {
    copyNode(scene, slot, parentCopy, node, 0);
}

int32_t sceneAddCopy(int32_t scene, int32_t copyIndex, int32_t node) {
    sceneRemoveCopy(scene, copyIndex);
    Scene* s = sceneGet(scene);
    if (s == nullptr || nodeGet(node) == nullptr) return -1;
    int32_t slot = takeCopySlot(s, copyIndex);
    if (slot < 0) return -1;
    sceneCopyNode(scene, slot, -1, node);
    return slot;
}

static void removeCopy(Scene* s, int32_t copy, int32_t depth) {
    Node* node = slotGet<Node>(&s->copies, copy);
    if (node == nullptr || depth >= NODE_DEPTH_LIMIT) return;
    // Released first, as nodeDestroy does: the buffer stays, and a loop in the links ends here.
    slotRelease(&s->copies, copy);
    for (int32_t k = 0; k < node->children.capacity; k++) {
        int32_t* child = slotGet<int32_t>(&node->children, k);
        if (child) removeCopy(s, *child, depth + 1);
    }
    slotFree(&node->children);
}

int32_t sceneRemoveCopy(int32_t scene, int32_t copy) {
    Scene* s = sceneGet(scene);
    if (s != nullptr) removeCopy(s, copy, 0);
    return -1;
}

void sceneUpdateCopy(int32_t scene, int32_t copy, bool force) {
    Scene* s = sceneGet(scene);
    if (s) nodeTreeUpdateMatrices(&s->copies, copy, force);
}

void sceneUpdateMatrices(int32_t scene) {
    Scene* s = sceneGet(scene);
    if (s == nullptr) return;
    for (int32_t c = 0; c < s->copies.capacity; c++) {
        Node* copy = slotGet<Node>(&s->copies, c);
        if (copy && copy->parent == -1) nodeTreeUpdateMatrices(&s->copies, c, false);
    }
}

int32_t sceneFindKind(int32_t scene, uint8_t kind, int32_t from) {
    Scene* s = sceneGet(scene);
    if (s == nullptr || from != 0) return -1;
    for (int32_t c = 0; c < s->copies.capacity; c++) {
        Node* copy = slotGet<Node>(&s->copies, c);
        if (copy && copy->kind == kind) return c;
    }
    return -1;
}

static void growBounds(Scene* s, int32_t copy, Vec3* min, Vec3* max, int32_t depth) {
    Node* node = slotGet<Node>(&s->copies, copy);
    if (node == nullptr || depth >= NODE_DEPTH_LIMIT) return;
    if (node->kind == NODE_OBJECT) {
        Vec3 world[8], lo, hi;
        points_transform(&node->matrix, world, node->corners.p, 8);
        box_of_points(&lo, &hi, world, 8);
        box_union(min, max, *min, *max, lo, hi);
    }
    for (int32_t k = 0; k < node->children.capacity; k++) {
        int32_t* child = slotGet<int32_t>(&node->children, k);
        if (child) growBounds(s, *child, min, max, depth + 1);
    }
}

void sceneBounds(int32_t scene, int32_t copy, Vec3* min, Vec3* max) {
    vec3_set(min, FAR_VALUE, FAR_VALUE, FAR_VALUE);
    vec3_set(max, -FAR_VALUE, -FAR_VALUE, -FAR_VALUE);
    Scene* s = sceneGet(scene);
    if (s == nullptr) return;
    sceneUpdateMatrices(scene);
    growBounds(s, copy, min, max, 0);
}

void sceneSetScale(int32_t scene, int32_t copy, float x, float y, float z) {
    if (Node* n = sceneCopy(scene, copy)) nodeSetScale(n, x, y, z);
}

void sceneGetScale(int32_t scene, int32_t copy, float* x, float* y, float* z) {
    if (Node* n = sceneCopy(scene, copy)) nodeGetScale(n, x, y, z);
}

void sceneRotate(int32_t scene, int32_t copy, float degrees, float x, float y, float z) {
    if (Node* n = sceneCopy(scene, copy)) nodeRotate(n, degrees, x, y, z);
}

void sceneSetPosition(int32_t scene, int32_t copy, float x, float y, float z) {
    if (Node* n = sceneCopy(scene, copy)) nodeSetPosition(n, x, y, z);
}

void sceneGetPosition(int32_t scene, int32_t copy, float* x, float* y, float* z) {
    if (Node* n = sceneCopy(scene, copy)) nodeGetPosition(n, x, y, z);
}

void sceneSetLookAt(int32_t scene, int32_t copy, Vec3 eye, Vec3 target, Vec3 up) {
    if (Node* n = sceneCopy(scene, copy))
        nodeSetLookAt(n, eye.x, eye.y, eye.z, target.x, target.y, target.z, up.x, up.y, up.z);
}

void sceneAxes(int32_t scene, int32_t copy, Vec3 out[3]) {
    if (Node* n = sceneCopy(scene, copy)) nodeAxes(n, out);
}
