#include "import/scene_build.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "import/geometry.h"
#include "import/workspace.h"
#include "import/xml_access.h"
#include "math/mat4.h"
#include "object/node.h"
#include "object/object.h"
#include "object/object_model.h"

static const char* const kAutoRoot = "VORTEN_AUTO_ROOT_NODE";

namespace {
struct BuildState {
    std::unordered_map<int32_t, int32_t> recordOfNode;  // node index -> node record (early profile)
    std::unordered_map<int32_t, std::string> names;     // node index -> document name or id
    std::unordered_map<std::string, int32_t> objects;   // geometry and bindings -> object (later profiles)
    int32_t builtNodes = 0;
    bool budgetReported = false;
    struct CutAhead* cuts = nullptr;  // the later builder's cutting, which meshes wait for
};
BuildState bs;

// ---- Transforms -------------------------------------------------------------------------------

void normalise(float v[3]) {
    double length = std::sqrt((double)v[0] * v[0] + (double)v[1] * v[1] + (double)v[2] * v[2]);
    if (length > 0.0)
        for (int i = 0; i < 3; i++) v[i] = (float)(v[i] / length);
}

// M = M * the skew of `degrees` that shears along `along` in proportion to the distance along the
// part of `axis` square to it.
void applySkew(Mat4* M, const float* values) {
    float a[3] = {values[1], values[2], values[3]}, b[3] = {values[4], values[5], values[6]};
    normalise(a);
    normalise(b);
    float an2 = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    float n1[3] = {a[0] - an2 * b[0], a[1] - an2 * b[1], a[2] - an2 * b[2]};
    normalise(n1);
    float an1 = a[0] * n1[0] + a[1] * n1[1] + a[2] * n1[2];
    double angle = values[0] * 3.14159265358979323846 / 180.0;
    double rx = an1 * std::cos(angle) - an2 * std::sin(angle), ry = an1 * std::sin(angle) + an2 * std::cos(angle);
    if (an1 == 0.0f || rx <= 0.0) return;  // no shear reaches that far
    float alpha = (float)(ry / rx - an2 / an1);
    Mat4 S;
    mat4_identity(&S);
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++) S.m[4 * c + r] += alpha * b[r] * n1[c];
    mat4_mul(M, M, &S);
}

// The local matrix of a record's transforms applied in document order.
void composeTransforms(const NodeRec* r, Mat4* M) {
    mat4_identity(M);
    for (int32_t i = 0; i < r->transforms.capacity; i++) {
        const TransformRec* t = slotGet<TransformRec>(&r->transforms, i);
        if (!t) continue;
        const float* v = t->values;
        switch (t->kind) {
            case TRANSFORM_TRANSLATE: mat4_translate(M, v[0], v[1], v[2]); break;
            case TRANSFORM_SCALE: mat4_scale(M, v[0], v[1], v[2]); break;
            case TRANSFORM_ROTATE: {
                float axis[3] = {v[0], v[1], v[2]};
                normalise(axis);
                if (axis[0] != 0.0f || axis[1] != 0.0f || axis[2] != 0.0f) mat4_rotate(M, v[3], axis[0], axis[1], axis[2]);
                break;
            }
            case TRANSFORM_MATRIX: {
                Mat4 X;
                for (int row = 0; row < 4; row++)
                    for (int col = 0; col < 4; col++) X.m[4 * col + row] = v[4 * row + col];  // written row by row
                mat4_mul(M, M, &X);
                break;
            }
            case TRANSFORM_LOOKAT: {
                Mat4 L;
                mat4_look_at(&L, Vec3{v[0], v[1], v[2]}, Vec3{v[3], v[4], v[5]}, Vec3{v[6], v[7], v[8]});
                mat4_mul(M, M, &L);
                break;
            }
            case TRANSFORM_SKEW: applySkew(M, v); break;
            default: break;
        }
    }
}

bool needsMatrix(const NodeRec* r) {
    for (int32_t i = 0; i < r->transforms.capacity; i++) {
        const TransformRec* t = slotGet<TransformRec>(&r->transforms, i);
        if (t && t->kind >= TRANSFORM_MATRIX) return true;
    }
    return false;
}

// The early profile's rule for a node of translations, rotations and scales: the last translate,
// the rotations in document order, the last scale. Any other transform makes the node keep the
// whole document-order product.
void applyOwnTransforms(const NodeRec* r, Node* n) {
    if (needsMatrix(r)) {
        Mat4 M;
        composeTransforms(r, &M);
        nodeSetMatrix(n, &M);
        return;
    }
    int32_t count = r->transforms.capacity;
    for (int32_t i = 0; i < count; i++) {
        const TransformRec* t = slotGet<TransformRec>(&r->transforms, i);
        if (t && t->kind == TRANSFORM_TRANSLATE) nodeSetPosition(n, t->values[0], t->values[1], t->values[2]);
    }
    for (int32_t i = count - 1; i >= 0; i--) {
        const TransformRec* t = slotGet<TransformRec>(&r->transforms, i);
        if (t && t->kind == TRANSFORM_ROTATE) nodeRotate(n, t->values[3], t->values[0], t->values[1], t->values[2]);
    }
    for (int32_t i = 0; i < count; i++) {
        const TransformRec* t = slotGet<TransformRec>(&r->transforms, i);
        if (t && t->kind == TRANSFORM_SCALE) nodeSetScale(n, t->values[0], t->values[1], t->values[2]);
    }
}

// Turns a root node of translation, rotation and scale so that the axis `up` becomes +Z: its
// position turns with it, and the turn goes before its own rotation.
void turnUp(Node* root, char up) {
    float x, y, z;
    nodeGetPosition(root, &x, &y, &z);
    if (up == 'Y') {  // +90 degrees about X: (x, y, z) -> (x, -z, y)
        nodeRotate(root, 90.0f, 1.0f, 0.0f, 0.0f);
        nodeSetPosition(root, x, -z, y);
    } else if (up == 'X') {  // 120 degrees about (1, -1, 1): (x, y, z) -> (-y, -z, x)
        const float k = 0.57735026919f;
        nodeRotate(root, 120.0f, k, -k, k);
        nodeSetPosition(root, -y, -z, x);
    }
}

// ---- Nodes ------------------------------------------------------------------------------------

// A new node of the build, named after its record; -1 once the build has made its quota.
int32_t makeNode(const NodeRec* r, uint8_t kind, int32_t attachment) {
    if (bs.builtNodes >= BUILD_MAX_NODES) {
        if (!bs.budgetReported)
            importMessage("[WARNING] the scene would hold more than %d nodes; the rest is left out.", (int)BUILD_MAX_NODES);
        bs.budgetReported = true;
        return -1;
    }
    int32_t node = nodeCreate(-1, kind, attachment);
    if (node < 0) return -1;
    bs.builtNodes++;
    if (r) bs.names[node] = r->name[0] ? r->name : r->id;
    return node;
}

// Nodes that the links leave outside the returned tree (a parent id that names no node, parents
// that name each other) would stay in the object model through every later import, since only the
// returned tree is destroyed by the next one: they are dropped with their references.
void dropUnreachableNodes(int32_t root, const std::vector<int32_t>& made) {
    std::vector<uint8_t> reachable((size_t)nodeTable.capacity, 0);
    NodeWalk walk;
    nodeWalkBegin(&walk, &nodeTable);
    if (root >= 0) nodeWalkPush(&walk, root, 0, 0);
    NodeWalkStep step;
    while (nodeWalkNext(&walk, &step)) {
        reachable[(size_t)step.node] = 1;
        nodeWalkChildren(&walk, nodeGet(step.node), &step, 0);
    }
    nodeWalkEnd(&walk);
    for (int32_t node : made) {
        if (node < 0 || (node < (int32_t)reachable.size() && reachable[(size_t)node]) || !nodeGet(node)) continue;
        nodeDestroy(node);
        bs.names.erase(node);
    }
}

// A root the viewer can scale and turn: a node of translation, rotation and scale. A root with a
// general matrix gets a parent of its own.
int32_t plainRoot(int32_t root) {
    const Node* n = nodeGet(root);
    if (!n || n->transformMode == MODE_TRS) return root;
    int32_t wrapper = makeNode(nullptr, NODE_EMPTY, -1);
    if (wrapper < 0) return root;
    bs.names[wrapper] = kAutoRoot;
    nodeSetParent(wrapper, root);
    return wrapper;
}

// The turn of the document's up axis, or of the override, onto +Z.
int32_t finishRoot(int32_t root, char up) {
    if (root < 0) return -1;
    documentInfo.upUsed = 0;
    if (up == 'X' || up == 'Y') {
        root = plainRoot(root);
        turnUp(nodeGet(root), up);
        documentInfo.upUsed = up;
    }
    nodeUpdateMatrices(root, false);
    return root;
}
}  // namespace

int32_t buildEarlyScene(const char* textureDirectory, char up);
int32_t buildLaterScene(const char* textureDirectory, char up);

const char* builtNodeName(int32_t node) {
    auto found = bs.names.find(node);
    return found == bs.names.end() ? "" : found->second.c_str();
}

void builtNamesClear() { bs.names.clear(); }

// ---- The early profile ------------------------------------------------------------------------

namespace {
// The node of the first other record whose id is the record's parent id, or -1.
int32_t findParentNode(int32_t record) {
    const NodeRec* n = slotGet<NodeRec>(&nodeRecTable, record);
    if (!n->parentId[0]) return -1;
    int32_t first = findById(&nodeRecTable, n->parentId);
    if (first != record) {
        const NodeRec* o = slotGet<NodeRec>(&nodeRecTable, first);
        return o ? o->nodeIndex : -1;
    }
    // The record has its own parent's id: the next record of that id is the parent.
    for (int32_t i = 0; i < nodeRecTable.capacity; i++) {
        const NodeRec* o = slotGet<NodeRec>(&nodeRecTable, i);
        if (o && i != record && std::strcmp(o->id, n->parentId) == 0) return o->nodeIndex;
    }
    return -1;
}

// Applies the records' transforms to their nodes over the tree below the root record's node.
void applyTransforms(int32_t record) {
    const NodeRec* r = slotGet<NodeRec>(&nodeRecTable, record);
    if (!r) return;
    NodeWalk walk;
    nodeWalkBegin(&walk, &nodeTable);
    nodeWalkPush(&walk, r->nodeIndex, 0, record);
    NodeWalkStep step;
    while (nodeWalkNext(&walk, &step)) {
        // The root's record is given; a child's is found through its node. A child that no record
        // made keeps its transform, and so does its subtree.
        int32_t own = step.tag;
        if (step.depth > 0) {
            auto found = bs.recordOfNode.find(step.node);
            if (found == bs.recordOfNode.end()) continue;
            own = found->second;
        }
        Node* n = nodeGet(step.node);
        applyOwnTransforms(slotGet<NodeRec>(&nodeRecTable, own), n);
        nodeWalkChildren(&walk, n, &step, 0);
    }
    nodeWalkEnd(&walk);
}
}  // namespace

namespace {
// Cutting the primitives of an early document into triangles runs on a second thread, a step or two
// ahead of the meshes built here from them. It touches only the primitives' own records and the
// geometry module's state, and it cuts in document order, so the results are those of one thread.
// A later document builds its meshes in the order its scene instances them, and a primitive may
// make several meshes: there the second thread cuts every primitive in table order without waiting,
// and each mesh waits for its primitive.
struct CutAhead {
    std::vector<int32_t> order;     // the primitives, in the order they are cut
    std::vector<int32_t> position;  // primitive -> its place in order (later documents)
    bool bounded = true;            // at most kCutAhead primitives ahead of the meshes built
    std::thread worker;
    bool running = false;
    std::mutex lock;
    std::condition_variable changed;
    size_t cut = 0;    // primitives cut (worker)
    size_t built = 0;  // meshes built (this thread)
};
const size_t kCutAhead = 2;

void cutAheadLoop(CutAhead* c) {
    for (size_t k = 0; k < c->order.size(); k++) {
        if (c->bounded) {
            std::unique_lock<std::mutex> guard(c->lock);
            c->changed.wait(guard, [c, k] { return k < c->built + kCutAhead; });
        }
        tessellatePrimitive(c->order[k]);
        std::lock_guard<std::mutex> guard(c->lock);
        c->cut = k + 1;
        c->changed.notify_all();
    }
}

// Waits until primitive k is cut (telling the progress hook meanwhile), or cuts it here when no
// second thread runs.
void awaitCut(CutAhead* c, size_t k) {
    if (!c->running) {
        tessellatePrimitive(c->order[k]);
        return;
    }
    std::unique_lock<std::mutex> guard(c->lock);
    while (!c->changed.wait_for(guard, std::chrono::milliseconds(50), [c, k] { return c->cut > k; })) {
        guard.unlock();
        importAdvance(0);
        guard.lock();
    }
}

void markBuilt(CutAhead* c, size_t k) {
    if (!c->running) return;
    std::lock_guard<std::mutex> guard(c->lock);
    c->built = k + 1;
    c->changed.notify_all();
}

// A later document's mesh waits for its primitive (any primitive the table holds has its place).
void awaitPrimitive(CutAhead* c, int32_t polygons) {
    if (!c || !c->running || polygons < 0 || (size_t)polygons >= c->position.size()) return;
    if (c->position[(size_t)polygons] >= 0) awaitCut(c, (size_t)c->position[(size_t)polygons]);
}

// Starts the second thread when there is more than one primitive; without it (std::thread reports
// a failed start only by throwing) the cutting happens on this thread.
void startCutting(CutAhead* c) {
    if (c->order.size() < 2) return;
    try {
        c->worker = std::thread(cutAheadLoop, c);
        c->running = true;
    } catch (const std::system_error&) {
        c->running = false;
    }
}

void finishCutting(CutAhead* c) {
    if (c->running) c->worker.join();
    c->running = false;
}
}  // namespace

int32_t buildEarlyScene(const char* textureDirectory, char up) {
    CutAhead cuts;
    for (int32_t i = 0; i < geometryTable.capacity; i++) {
        const GeometryRec* g = slotGet<GeometryRec>(&geometryTable, i);
        for (int32_t k = 0; g && k < g->polygons.capacity; k++)
            if (slotUnits(&g->polygons, k) > 0) cuts.order.push_back(*(int32_t*)g->polygons.slots[k]);
    }
    startCutting(&cuts);
    size_t next = 0;
    for (int32_t i = 0; i < geometryTable.capacity; i++) {
        GeometryRec* g = slotGet<GeometryRec>(&geometryTable, i);
        if (!g) continue;
        int32_t object = objectCreate(-1);
        g = slotGet<GeometryRec>(&geometryTable, i);
        g->objectIndex = object;
        for (int32_t k = 0; k < g->polygons.capacity; k++) {
            g = slotGet<GeometryRec>(&geometryTable, i);
            if (slotUnits(&g->polygons, k) <= 0) continue;
            int32_t polygons = cuts.order[next];
            awaitCut(&cuts, next);
            buildMesh(polygons, slotGet<PolygonsRec>(&polygonsTable, polygons)->materialIndex, -1, object,
                      textureDirectory);
            releaseTriangles(polygons);  // each primitive of an early document makes one mesh
            markBuilt(&cuts, next);
            next++;
        }
    }
    finishCutting(&cuts);
    geometryReport();

    int32_t topLevel = 0, rootRecord = -1;
    for (int32_t i = 0; i < nodeRecTable.capacity; i++) {
        const NodeRec* n = slotGet<NodeRec>(&nodeRecTable, i);
        if (n && n->parentId[0] == '\0') {
            topLevel++;
            rootRecord = i;
        }
    }
    if (topLevel > 1) {
        importMessage("[WARNING] %d root node found instead of 1.", topLevel);
        int32_t autoRoot = slotAdd(&nodeRecTable, 1, -1);
        NodeRec* a = slotGet<NodeRec>(&nodeRecTable, autoRoot);
        std::memset(a, 0, sizeof *a);
        slotInit(&a->transforms, 4, (int32_t)sizeof(TransformRec));
        slotInit(&a->instances, 4, (int32_t)sizeof(InstanceRec));
        a->id = importTextCopy(kAutoRoot);
        a->name = importTextCopy(kAutoRoot);
        a->parentId = importTextCopy("");
        a->parentRecord = -1;
        a->nodeIndex = -1;
        registerId(&nodeRecTable, kAutoRoot, autoRoot);
        for (int32_t i = 0; i < nodeRecTable.capacity; i++) {
            NodeRec* n = slotGet<NodeRec>(&nodeRecTable, i);
            if (n && i != autoRoot && n->parentId[0] == '\0') {
                importTextFree(n->parentId);
                n->parentId = importTextCopy(kAutoRoot);
            }
        }
        rootRecord = autoRoot;
    }

    bs.recordOfNode.clear();
    std::vector<int32_t> made;
    for (int32_t i = 0; i < nodeRecTable.capacity; i++) {
        NodeRec* n = slotGet<NodeRec>(&nodeRecTable, i);
        if (!n) continue;
        // The node shows the geometry of its (last) instance when the document holds it.
        const InstanceRec* in = slotGet<InstanceRec>(&n->instances, 0);
        const GeometryRec* g = in ? slotGet<GeometryRec>(&geometryTable, in->target) : nullptr;
        int32_t node = makeNode(n, g ? NODE_OBJECT : NODE_EMPTY, g ? g->objectIndex : -1);
        n = slotGet<NodeRec>(&nodeRecTable, i);
        n->nodeIndex = node;
        if (node < 0) continue;
        made.push_back(node);
        bs.recordOfNode.emplace(node, i);
    }
    for (int32_t i = 0; i < nodeRecTable.capacity; i++) {
        const NodeRec* n = slotGet<NodeRec>(&nodeRecTable, i);
        if (n && n->nodeIndex >= 0) nodeSetParent(findParentNode(i), n->nodeIndex);
    }

    int32_t result = -1;
    const NodeRec* rootRec = slotGet<NodeRec>(&nodeRecTable, rootRecord);
    if (rootRec && rootRec->nodeIndex >= 0) {
        result = rootRec->nodeIndex;
        applyTransforms(rootRecord);
    }
    int32_t root = finishRoot(plainRoot(result), up);
    if (root >= 0) made.push_back(root);
    dropUnreachableNodes(root, made);
    bs.recordOfNode.clear();
    return root;
}

// ---- Later profiles ---------------------------------------------------------------------------

namespace {
const char* primitiveGeometryId(int32_t geometry) {
    const GeometryRec* g = slotGet<GeometryRec>(&geometryTable, geometry);
    return g && g->id[0] ? g->id : "(no id)";
}

// The texture-coordinate input of a primitive a material reads: the set its instance binds to the
// semantic of the material's texture; -1 (the first) when nothing binds one.
int32_t boundTexInput(const PolygonsRec* p, const MaterialRec* m, const MaterialBindRec* b) {
    if (!m || !b || !m->texcoord || !m->texcoord[0] || b->texSet < 0) return -1;
    if (std::strcmp(b->texSemantic, m->texcoord) != 0) return -1;
    for (int32_t j = 0; j < p->texCoordCount; j++)
        if (p->texSets[j] == b->texSet) return j;
    return -1;
}

// The object showing a geometry with an instance's material bindings; one per distinct binding.
int32_t objectFor(int32_t geometry, const InstanceRec* in, const char* textureDirectory) {
    const GeometryRec* g = slotGet<GeometryRec>(&geometryTable, geometry);
    if (!g) return -1;
    std::vector<int32_t> choice;  // material and texture input per primitive
    for (int32_t k = 0; k < g->polygons.capacity; k++) {
        if (slotUnits(&g->polygons, k) <= 0) continue;
        const PolygonsRec* p = slotGet<PolygonsRec>(&polygonsTable, *(int32_t*)g->polygons.slots[k]);
        int32_t material = -1, texInput = -1;
        if (p->materialName[0]) {
            const MaterialBindRec* bound = nullptr;
            for (int32_t b = 0; in && b < in->bindings.capacity && !bound; b++) {
                const MaterialBindRec* m = slotGet<MaterialBindRec>(&in->bindings, b);
                if (m && std::strcmp(m->symbol, p->materialName) == 0) bound = m;
            }
            if (bound) {
                material = bound->materialIndex;
                texInput = boundTexInput(p, slotGet<MaterialRec>(&materialRecTable, material), bound);
            } else {
                importMessageOnce("[WARNING] geometry %s: no instance binds its material %s; it is shown with the "
                                  "default material.",
                                  primitiveGeometryId(geometry), p->materialName);
            }
        }
        choice.push_back(material);
        choice.push_back(texInput);
    }
    std::string key = std::to_string(geometry);
    for (int32_t v : choice) key += ' ' + std::to_string(v);
    auto found = bs.objects.find(key);
    if (found != bs.objects.end()) return found->second;
    int32_t object = objectCreate(-1);
    size_t at = 0;
    for (int32_t k = 0; k < g->polygons.capacity; k++) {
        g = slotGet<GeometryRec>(&geometryTable, geometry);
        if (slotUnits(&g->polygons, k) <= 0) continue;
        int32_t polygons = *(int32_t*)g->polygons.slots[k];
        awaitPrimitive(bs.cuts, polygons);
        buildMesh(polygons, choice[at], choice[at + 1], object, textureDirectory);
        at += 2;
    }
    bs.objects.emplace(key, object);
    return object;
}

bool isIdentity(const float* m) {
    for (int i = 0; i < 16; i++)
        if (m[i] != ((i % 5 == 0) ? 1.0f : 0.0f)) return false;
    return true;
}

// A node step still to build: the record, the node it goes under, and its place in the chain of
// records above it (to find an instance_node that names one of its own ancestors).
struct Pending {
    int32_t record;
    int32_t parentNode;
    int32_t chain;
};
struct ChainLink {
    int32_t record;
    int32_t up;
};

bool inChain(const std::vector<ChainLink>& chain, int32_t at, int32_t record) {
    for (; at >= 0; at = chain[(size_t)at].up)
        if (chain[(size_t)at].record == record) return true;
    return false;
}

// A child node carrying an object under parent, with a matrix unless it is the identity.
void addObjectChild(int32_t parent, int32_t object, const float* matrix) {
    if (object < 0 || parent < 0) return;
    int32_t node = makeNode(nullptr, NODE_OBJECT, object);
    if (node < 0) return;
    if (matrix && !isIdentity(matrix)) {
        Mat4 M;
        for (int r = 0; r < 4; r++)
            for (int c = 0; c < 4; c++) M.m[4 * c + r] = matrix[4 * r + c];
        nodeSetMatrix(nodeGet(node), &M);
    }
    nodeSetParent(parent, node);
}
}  // namespace

namespace {
// The node tree of a later document, its meshes built as its scene instances them (the nodes made
// go to made); false without a visual scene.
bool buildLaterTree(const char* textureDirectory, int32_t* root, std::vector<int32_t>* made) {
    bs.objects.clear();

    // Child records in document order, as linked lists.
    int32_t capacity = nodeRecTable.capacity, sceneRecord = -1;
    std::vector<int32_t> firstChild((size_t)capacity, -1), nextSibling((size_t)capacity, -1);
    for (int32_t i = capacity - 1; i >= 0; i--) {
        const NodeRec* n = slotGet<NodeRec>(&nodeRecTable, i);
        if (!n) continue;
        if (n->parentRecord >= 0 && n->parentRecord < capacity) {
            nextSibling[(size_t)i] = firstChild[(size_t)n->parentRecord];
            firstChild[(size_t)n->parentRecord] = i;
        } else if (!n->library) {
            sceneRecord = i;  // the lowest record outside the libraries: the visual scene
        }
    }
    if (sceneRecord < 0) return false;

    std::vector<ChainLink> chain;
    std::vector<Pending> pending{{sceneRecord, -1, -1}};
    std::vector<int32_t> order;
    while (!pending.empty()) {
        Pending p = pending.back();
        pending.pop_back();
        const NodeRec* r = slotGet<NodeRec>(&nodeRecTable, p.record);
        // A node of a single geometry instance carries its object itself; others get a child per
        // instance.
        int32_t geometries = 0, others = 0, single = -1;
        for (int32_t i = 0; i < r->instances.capacity; i++) {
            const InstanceRec* in = slotGet<InstanceRec>(&r->instances, i);
            if (!in || in->target < 0 || in->kind == INSTANCE_NODE) continue;
            if (in->kind == INSTANCE_GEOMETRY) {
                geometries++;
                single = i;
            } else {
                others++;
            }
        }
        int32_t object = -1;
        if (geometries == 1 && others == 0 && p.parentNode >= 0) {
            const InstanceRec* in = slotGet<InstanceRec>(&r->instances, single);
            object = objectFor(in->target, in, textureDirectory);
        }
        r = slotGet<NodeRec>(&nodeRecTable, p.record);
        int32_t node = makeNode(r, object >= 0 ? NODE_OBJECT : NODE_EMPTY, object);
        if (node < 0) continue;
        made->push_back(node);
        if (p.parentNode >= 0) nodeSetParent(p.parentNode, node);
        else *root = node;
        if (r->transforms.capacity > 0) {
            Mat4 M;
            composeTransforms(r, &M);
            nodeSetMatrix(nodeGet(node), &M);
        }
        chain.push_back({p.record, p.chain});
        int32_t link = (int32_t)chain.size() - 1;
        order.clear();
        for (int32_t i = 0; i < r->instances.capacity; i++) {
            const InstanceRec* in = slotGet<InstanceRec>(&r->instances, i);
            if (!in || in->target < 0) continue;
            if (in->kind == INSTANCE_GEOMETRY && object < 0) {
                addObjectChild(node, objectFor(in->target, in, textureDirectory), nullptr);
            } else if (in->kind == INSTANCE_CONTROLLER) {
                // A skin shows its geometry in the bind shape.
                const ControllerRec* c = slotGet<ControllerRec>(&controllerTable, in->target);
                char fragment[2048];
                urlFragment(fragment, c->geometryUrl);
                int32_t geometry = findById(&geometryTable, fragment);
                if (geometry < 0)
                    importMessageOnce("[WARNING] controller %s: its geometry %s is not in the document.", c->id,
                                      c->geometryUrl);
                float bindShape[16];
                std::memcpy(bindShape, c->bindShape, sizeof bindShape);
                addObjectChild(node, objectFor(geometry, in, textureDirectory), bindShape);
            } else if (in->kind == INSTANCE_NODE) {
                if (inChain(chain, link, in->target)) {
                    importMessageOnce("[WARNING] node %s instances itself through %s; that instance is left out.",
                                      r->id[0] ? r->id : "(no id)", in->url);
                    continue;
                }
                order.push_back(in->target);
            }
            r = slotGet<NodeRec>(&nodeRecTable, p.record);
        }
        // Popped in document order: instanced nodes first, then the child nodes.
        std::vector<int32_t> kids;
        for (int32_t c = firstChild[(size_t)p.record]; c >= 0; c = nextSibling[(size_t)c]) kids.push_back(c);
        for (size_t i = kids.size(); i-- > 0;) pending.push_back({kids[i], node, link});
        for (size_t i = order.size(); i-- > 0;) pending.push_back({order[i], node, link});
    }
    return true;
}
}  // namespace

int32_t buildLaterScene(const char* textureDirectory, char up) {
    CutAhead cuts;
    cuts.bounded = false;
    cuts.position.assign((size_t)(polygonsTable.capacity > 0 ? polygonsTable.capacity : 0), -1);
    for (int32_t i = 0; i < polygonsTable.capacity; i++) {
        if (!slotGet<PolygonsRec>(&polygonsTable, i)) continue;
        cuts.position[(size_t)i] = (int32_t)cuts.order.size();
        cuts.order.push_back(i);
    }
    startCutting(&cuts);
    if (!cuts.running)
        for (int32_t polygons : cuts.order) tessellatePrimitive(polygons);
    bs.cuts = &cuts;
    int32_t root = -1;
    std::vector<int32_t> made;
    bool scene = buildLaterTree(textureDirectory, &root, &made);
    finishCutting(&cuts);
    bs.cuts = nullptr;
    if (!scene) return -1;
    geometryReport();
    root = finishRoot(root, up);
    dropUnreachableNodes(root, made);
    bs.objects.clear();
    return root;
}

int32_t buildScene(const char* textureDirectory, char upOverride) {
    bs.builtNodes = 0;
    bs.budgetReported = false;
    geometryFanCrossingOutlines(documentInfo.profile != PROFILE_EARLY);
    char up = upOverride ? upOverride : documentInfo.upAxis;
    if (!up && documentInfo.profile != PROFILE_EARLY) up = 'Y';  // the later profiles' default
    return documentInfo.profile == PROFILE_EARLY ? buildEarlyScene(textureDirectory, up)
                                                 : buildLaterScene(textureDirectory, up);
}
