// Fresh object tables per test and a square mesh template.
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

// A flat-coloured square of side 2 * half in the z = 0 plane facing +Z, with the given texture-
// coordinate sets and per-vertex colours, each value distinct so that a misplaced attribute shows;
// free with meshFreeBuffers.
inline Mesh squareTemplate(float half, float r, float g, float b, float a, uint8_t mode = MATERIAL_UNLIT,
                           uint8_t sets = 0, bool colours = false) {
    Mesh m;
    std::memset(&m, 0, sizeof m);
    materialInit(&m.material);
    m.material.mode = mode;
    const float colour[4] = {r, g, b, a};
    std::memcpy(m.material.diffuse, colour, sizeof colour);
    m.vertexCount = 4;
    m.indexCount = 6;
    m.hasPositions = m.hasNormals = 1;
    m.texCoordSets = sets;
    m.hasColours = colours;
    meshInitBuffers(&m);
    const float p[12] = {-half, -half, 0, half, -half, 0, half, half, 0, -half, half, 0};
    for (int i = 0; i < 12; i++) m.positions[i] = p[i], m.normals[i] = (i % 3 == 2) ? 1.0f : 0.0f;
    const int32_t idx[6] = {0, 1, 2, 2, 3, 0};
    std::memcpy(m.indices, idx, sizeof idx);
    for (int s = 0; s < m.texCoordSets; s++) {
        for (int i = 0; i < 8; i++) m.texCoords[s][i] = 5.0f * s + 0.1f * i;
    }
    for (int i = 0; colours && i < 16; i++) m.colours[i] = (uint8_t)(200 + i);
    return m;
}

// Adds a new mesh made from a lit square to object; returns the mesh index.
inline int32_t addSquareTo(int32_t object, float half = 1.0f, float alpha = 1.0f) {
    Mesh t = squareTemplate(half, 1, 1, 1, alpha, MATERIAL_LIT);
    int32_t mesh = meshCreate(-1, &t);
    objectAddMesh(object, mesh);
    meshFreeBuffers(&t);
    return mesh;
}

inline int32_t squareObject() {
    int32_t object = objectCreate(-1);
    addSquareTo(object);
    return object;
}

// Slots in use in a table: meshes, nodes, a scene's copies.
inline int32_t slotsInUse(const SlotTable& table) {
    int32_t n = 0;
    for (int32_t i = 0; i < table.capacity; i++) n += slotData(&table, i) != nullptr;
    return n;
}
