// Fresh object tables per test and a one-triangle mesh template.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "object/mesh.h"
#include "object/node.h"
#include "object/object.h"
#include "object/object_model.h"
#include "object/scene.h"

class ObjectModelTest : public ::testing::Test {
protected:
    void SetUp() override { objectModelInit(); }
    void TearDown() override { objectModelShutdown(); }
};

// Triangle (x,0,0) (x+1,0,0) (x,1,0) facing +Z; the caller frees it with meshFreeBuffers.
inline Mesh triangleTemplate(float alpha = 1.0f, float x = 0.0f) {
    Mesh m;
    std::memset(&m, 0, sizeof m);
    materialInit(&m.material);
    m.material.diffuse[3] = alpha;
    m.vertexCount = m.indexCount = 3;
    m.hasPositions = m.hasNormals = 1;
    meshInitBuffers(&m);
    const float p[9] = {x, 0, 0, x + 1, 0, 0, x, 1, 0};
    for (int i = 0; i < 9; i++) m.positions[i] = p[i], m.normals[i] = (i % 3 == 2) ? 1.0f : 0.0f;
    for (int i = 0; i < 3; i++) m.indices[i] = i;
    return m;
}

// Adds a new mesh made from triangleTemplate(alpha, x) to object; returns the mesh index.
inline int32_t addTriangle(int32_t object, float alpha = 1.0f, float x = 0.0f) {
    Mesh t = triangleTemplate(alpha, x);
    int32_t mesh = meshCreate(-1, &t);
    objectAddMesh(object, mesh);
    meshFreeBuffers(&t);
    return mesh;
}

inline int32_t triangleObject(float alpha = 1.0f) {
    int32_t object = objectCreate(-1);
    addTriangle(object, alpha);
    return object;
}

inline int32_t meshesInUse() {
    int32_t n = 0;
    for (int32_t i = 0; i < meshTable.capacity; i++) n += meshGet(i) != nullptr;
    return n;
}
