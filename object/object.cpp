#include "object/object.h"

#include "object/mesh.h"
#include "object/object_model.h"

int32_t objectCreate(int32_t index) {
    objectDestroy(index);
    int32_t slot = slotAdd(&objectTable, 1, index);
    if (slot < 0) return -1;
    Object* object = objectGet(slot);
    slotInit(&object->meshes, 4, 4);
    object->refCount = 0;
    object->passes = PASS_OPAQUE;
    object->texturesLoaded = 0;
    return slot;
}

void objectAddMesh(int32_t object, int32_t mesh) {
    Object* o = objectGet(object);
    if (o == nullptr) return;
    int32_t slot = slotAdd(&o->meshes, 1, -1);
    *slotGet<int32_t>(&o->meshes, slot) = mesh;
}

int32_t objectDestroy(int32_t index) {
    Object* object = objectGet(index);
    if (object == nullptr) return -1;
    for (int32_t k = 0; k < object->meshes.capacity; k++) {
        int32_t* entry = slotGet<int32_t>(&object->meshes, k);
        if (entry) *entry = meshDestroy(*entry);
    }
    slotFree(&object->meshes);
    slotRelease(&objectTable, index);
    return -1;
}

void objectCollect() {
    for (int32_t i = 0; i < objectTable.capacity; i++) {
        Object* object = objectGet(i);
        if (object && object->refCount == 0) objectDestroy(i);
    }
}

Object* objectGet(int32_t index) { return slotGet<Object>(&objectTable, index); }

void objectBounds(int32_t index, BoxCorners* corners, Vec3* centre, float* radius) {
    Object* object = objectGet(index);
    if (object == nullptr) return;
    object->passes = PASS_OPAQUE;
    bool bounded = false;
    for (int32_t k = 0; k < object->meshes.capacity; k++) {
        int32_t* entry = slotGet<int32_t>(&object->meshes, k);
        Mesh* mesh = entry ? meshGet(*entry) : nullptr;
        if (mesh == nullptr) continue;
        // A mesh already prepared for drawing has no separate positions left; it keeps its pass
        // but adds nothing to the box.
        if (meshHasPoints(mesh)) {
            if (!bounded) {
                meshBounds(mesh, corners, centre, radius);
                bounded = true;
            } else {
                BoxCorners meshCorners;
                Vec3 meshCentre;
                float meshRadius;
                meshBounds(mesh, &meshCorners, &meshCentre, &meshRadius);
                corners_union(corners, corners, &meshCorners);
                sphere_merge(centre, radius, meshCentre, meshRadius);
            }
        }
        mesh->pass = materialIsTransparent(&mesh->material) ? PASS_TRANSPARENT : PASS_OPAQUE;
        if (mesh->pass == PASS_TRANSPARENT) object->passes |= PASS_TRANSPARENT;
    }
    if (!bounded) corners_reset(corners, centre, radius);
}
