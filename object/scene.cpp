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

void sceneCopyNode(int32_t scene, int32_t slot, int32_t parentCopy, int32_t node) {
    if (sceneCopy(scene, slot) == nullptr || nodeGet(node) == nullptr) return;
    // A step's tag is the parent copy. Copies take their slots in the walk's order, so a subtree's
    // copies are numbered in pre-order as the source is laid out.
    NodeWalk walk;
    nodeWalkBegin(&walk, &nodeTable);
    nodeWalkPush(&walk, node, 0, parentCopy);
    NodeWalkStep step;
    while (nodeWalkNext(&walk, &step)) {
        Scene* s = sceneGet(scene);
        int32_t target = step.depth == 0 ? slot : takeCopySlot(s, -1);
        if (target < 0) continue;  // the scene cannot grow: this subtree stays out
        const Node* source = nodeGet(step.node);
        Node* copy = slotGet<Node>(&s->copies, target);
        std::memcpy(copy, source, offsetof(Node, parent));
        copy->parent = step.tag;
        if (Node* parent = slotGet<Node>(&s->copies, step.tag)) {
            int32_t k = slotAdd(&parent->children, 1, -1);
            *slotGet<int32_t>(&parent->children, k) = target;
        }
        nodeWalkChildren(&walk, source, &step, target);
    }
    nodeWalkEnd(&walk);
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

int32_t sceneRemoveCopy(int32_t scene, int32_t copy) {
    Scene* s = sceneGet(scene);
    if (s == nullptr || slotGet<Node>(&s->copies, copy) == nullptr) return -1;
    NodeWalk walk;
    nodeWalkBegin(&walk, &s->copies);
    nodeWalkPush(&walk, copy, 0, 0);
    NodeWalkStep step;
    while (nodeWalkNext(&walk, &step)) {
        Node* node = slotGet<Node>(&s->copies, step.node);
        nodeWalkChildren(&walk, node, &step, 0);
        // Released as nodeDestroy does: the buffer stays until its child list is freed.
        slotRelease(&s->copies, step.node);
        slotFree(&node->children);
    }
    nodeWalkEnd(&walk);
    return -1;
}

void sceneUpdateCopy(int32_t scene, int32_t copy, bool force) {
    Scene* s = sceneGet(scene);
    if (s) nodeTreeUpdateMatrices(&s->copies, copy, force);
}

void sceneUpdateMatrices(int32_t scene) {
    Scene* s = sceneGet(scene);
    if (s == nullptr) return;
    nodeTableUpdateMatrices(&s->copies);
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

void sceneBounds(int32_t scene, int32_t copy, Vec3* min, Vec3* max) {
    vec3_set(min, FAR_VALUE, FAR_VALUE, FAR_VALUE);
    vec3_set(max, -FAR_VALUE, -FAR_VALUE, -FAR_VALUE);
    Scene* s = sceneGet(scene);
    if (s == nullptr) return;
    sceneUpdateMatrices(scene);
    NodeWalk walk;
    nodeWalkBegin(&walk, &s->copies);
    nodeWalkPush(&walk, copy, 0, 0);
    NodeWalkStep step;
    while (nodeWalkNext(&walk, &step)) {
        const Node* node = slotGet<Node>(&s->copies, step.node);
        if (node->kind == NODE_OBJECT) {
            Vec3 world[8], lo, hi;
            points_transform(&node->matrix, world, node->corners.p, 8);
            box_of_points(&lo, &hi, world, 8);
            box_union(min, max, *min, *max, lo, hi);
        }
        nodeWalkChildren(&walk, node, &step, 0);
    }
    nodeWalkEnd(&walk);
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
