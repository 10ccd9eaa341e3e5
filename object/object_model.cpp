#include "object/object_model.h"

#include <cstring>

#include "object/mesh.h"
#include "object/node.h"
#include "object/object.h"
#include "object/scene.h"
#include "system/memory.h"

static const char* const kModule = "vor3d_object_1_11";

SlotTable meshTable;
SlotTable objectTable;
SlotTable nodeTable;
SlotTable lightTable;
SlotTable cameraTable;
SlotTable sceneTable;

void objectModelInit() {
    slotInit(&meshTable, 4, (int32_t)sizeof(Mesh));
    slotInit(&objectTable, 4, (int32_t)sizeof(Object));
    slotInit(&lightTable, 4, (int32_t)sizeof(Light));
    slotInit(&cameraTable, 4, (int32_t)sizeof(Camera));
    slotInit(&nodeTable, 4, (int32_t)sizeof(Node));
    slotInit(&sceneTable, 4, (int32_t)sizeof(Scene));
}

void objectModelShutdown() {
    for (int32_t i = 0; i < meshTable.capacity; i++) {
        if (Mesh* mesh = meshGet(i)) {
            meshFreeBuffers(mesh);
            mesh->interleaved = MEM_FREE(mesh->interleaved);
        }
    }
    slotFree(&meshTable);
    for (int32_t i = 0; i < objectTable.capacity; i++)
        if (Object* object = objectGet(i)) slotFree(&object->meshes);
    slotFree(&objectTable);
    slotFree(&lightTable);
    slotFree(&cameraTable);
    for (int32_t i = 0; i < nodeTable.capacity; i++)
        if (Node* node = nodeGet(i)) slotFree(&node->children);
    slotFree(&nodeTable);
    for (int32_t i = 0; i < sceneTable.capacity; i++)
        if (sceneGet(i)) sceneDestroy(i);
    slotFree(&sceneTable);
}

// Per face: the normal, then four corners on the unit box; counter-clockwise seen from outside.
static const float kBoxFaces[6][5][3] = {
    {{0, 0, 1}, {1, 1, 1}, {-1, 1, 1}, {-1, -1, 1}, {1, -1, 1}},
    {{0, 0, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}, {-1, -1, -1}},
    {{0, -1, 0}, {1, -1, 1}, {-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}},
    {{0, 1, 0}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}, {-1, 1, -1}},
    {{-1, 0, 0}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}, {-1, -1, -1}},
    {{1, 0, 0}, {1, 1, 1}, {1, -1, 1}, {1, -1, -1}, {1, 1, -1}},
};

int32_t boxObjectCreate(float width, float height, float depth) {
    Mesh box;
    std::memset(&box, 0, sizeof box);
    materialInit(&box.material);
    box.vertexCount = 24;
    box.indexCount = 36;
    box.hasPositions = 1;
    box.hasNormals = 1;
    meshInitBuffers(&box);
    const float half[3] = {width * 0.5f, height * 0.5f, depth * 0.5f};
    for (int f = 0; f < 6; f++) {
        for (int c = 0; c < 4; c++) {
            int v = 4 * f + c;
            for (int a = 0; a < 3; a++) {
                box.positions[3 * v + a] = kBoxFaces[f][c + 1][a] * half[a];
                box.normals[3 * v + a] = kBoxFaces[f][0][a];
            }
        }
        const int32_t triangles[6] = {0, 1, 2, 2, 3, 0};
        for (int k = 0; k < 6; k++) box.indices[6 * f + k] = 4 * f + triangles[k];
    }
    int32_t object = objectCreate(-1);
    int32_t mesh = meshCreate(-1, &box);
    meshFreeBuffers(&box);
    objectAddMesh(object, mesh);
    int32_t node = nodeCreate(-1, NODE_OBJECT, object);
    sceneUpdate(node, "");
    return node;
}
